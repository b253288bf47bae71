// cardcmd.dll bound as the desktop programs bind it: by file name and GetProcAddress, every
// name or nothing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/cardcmd/cardcmd.h"

struct CardCmd {
  HMODULE module = nullptr;
  decltype(&::QX_Open) QX_Open;
  decltype(&::QX_Close) QX_Close;
  decltype(&::QX_IC_RESET) QX_IC_RESET;
  decltype(&::QX_GET_SN) QX_GET_SN;
  decltype(&::QX_GET_BCDSN) QX_GET_BCDSN;
  decltype(&::Select_File) Select_File;
  decltype(&::Read_Binary) Read_Binary;
  decltype(&::Update_Binary) Update_Binary;
  decltype(&::QX_DeleteCert) QX_DeleteCert;
  decltype(&::QX_ClearDir) QX_ClearDir;
  decltype(&::QX_VerifyPinUpDatePinInfoFile) QX_VerifyPinUpDatePinInfoFile;
  decltype(&::QX_ChangePin) QX_ChangePin;
  decltype(&::QX_StoreCert) QX_StoreCert;
  decltype(&::QX_AddCertToIE) QX_AddCertToIE;
  decltype(&::QX_AddCertToIE_Tip) QX_AddCertToIE_Tip;
  decltype(&::QX_AddCertToIE_TipEx) QX_AddCertToIE_TipEx;
  decltype(&::QX_DelCertFrIE) QX_DelCertFrIE;
};

// Loads "cardcmd.dll" and binds the seventeen names; false (and nothing loaded) when one misses.
bool BindCardCmd(CardCmd &api);

// The reader's place in readerio's list of readers with a key, the device index QX_Open takes;
// -1 when it is not listed.
std::int32_t DeviceIndexOfReader(const std::string &reader);
