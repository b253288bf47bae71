// The tokencore exports this program uses, resolved by name from the library file at run time.
// Nothing links against tokencore: a missing export stays a null pointer and the steps that
// need it are skipped.
#pragma once

#include <string>
#include <vector>

#include "skf.h"

#define SKFDEMO_EXPORTS(X) \
  X(SKF_EnumDev)           \
  X(SKF_ConnectDev)        \
  X(SKF_DisConnectDev)     \
  X(SKF_GetDevInfo)        \
  X(SKF_Transmit)          \
  X(SKF_GenRandom)         \
  X(SKF_SetSymmKey)        \
  X(SKF_EncryptInit)       \
  X(SKF_Encrypt)           \
  X(SKF_DevAuth)           \
  X(SKF_FormatCard)        \
  X(SKF_CreateApplication) \
  X(SKF_EnumApplication)   \
  X(SKF_CloseApplication)  \
  X(SKF_GetPINInfo)        \
  X(SKF_VerifyPIN)         \
  X(SKF_CreateContainer)   \
  X(SKF_EnumContainer)     \
  X(SKF_CloseContainer)    \
  X(SKF_ImportCertificate) \
  X(SKF_ExportCertificate) \
  X(SKF_CreateFile)        \
  X(SKF_EnumFiles)         \
  X(SKF_WriteFile)         \
  X(SKF_ReadFile)          \
  X(SKF_GenECCKeyPair)     \
  X(SKF_DigestInit)        \
  X(SKF_Digest)            \
  X(SKF_ECCSignData)       \
  X(SKF_GenRSAKeyPair)     \
  X(SKF_RSASignData)       \
  X(SKF_CloseHandle)

struct Exports {
#define SKFDEMO_MEMBER(name) decltype(&::name) name = nullptr;
  SKFDEMO_EXPORTS(SKFDEMO_MEMBER)
#undef SKFDEMO_MEMBER
  std::vector<std::string> missing;  // names not found in the library

  bool Has(const char *name) const;
};

// The number of exports in the list.
std::size_t ExportCount();

// Opens the library at `path` and resolves every export of the list. False, with the loader's
// message in *error, when the file cannot be loaded.
bool LoadExports(const std::string &path, Exports *exports, std::string *error);
