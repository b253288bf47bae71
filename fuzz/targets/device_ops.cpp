// Device family: listing, connecting, the device information and label, raw commands, device
// authentication and its key, random numbers, application management and card format.
#include <cstring>

#include "fuzz/harness/families.h"

namespace fuzz {

namespace {

void EnumDev(Run &, unsigned variant) {
  char names[64] = {};
  ULONG size = variant & 2 ? 3 : sizeof names;
  SKF_EnumDev(variant & 1 ? FALSE : TRUE, variant & 4 ? nullptr : names, &size);
  ULONG state = 0;
  SKF_GetDevState("Replay", &state);
}

void Reconnect(Run &run, unsigned) { run.Connect(); }

void DevInfo(Run &run, unsigned) {
  DEVINFO info;
  SKF_GetDevInfo(run.device, &info);
}

void SetLabel(Run &run, unsigned variant) {
  char label[] = "FUZZ-LABEL-0123456789-abcdefghi";  // 31 characters
  label[variant % 31] = 0;
  SKF_SetLabel(run.device, label);
}

void Transmit(Run &run, unsigned variant) {
  static const BYTE kCommands[][7] = {{0x00, 0x84, 0x00, 0x00, 0x08},
                                      {0x00, 0xA4, 0x00, 0x00, 0x00},
                                      {0x80, 0x22, 0x00, 0x00, 0x02},
                                      {0x00, 0xB0, 0x00, 0x00, 0x00, 0x01, 0x00}};
  const std::size_t pick = variant % 4;
  BYTE out[300] = {};
  ULONG size = variant & 4 ? 4 : sizeof out;
  SKF_Transmit(run.device, kCommands[pick], pick == 3 ? 7 : 5, out, &size);
}

void DevAuth(Run &run, unsigned variant) {
  const Bytes data = Filled(16, static_cast<std::uint8_t>(variant));
  SKF_DevAuth(run.device, data.data(), variant & 8 ? 8 : 16);
}

void ChangeDevAuthKey(Run &run, unsigned variant) {
  const Bytes key = Filled(17, static_cast<std::uint8_t>(variant));
  SKF_ChangeDevAuthKey(run.device, key.data(), 16 - (variant & 7));
}

void GenRandom(Run &run, unsigned variant) {
  BYTE out[40];
  SKF_GenRandom(run.device, out, variant % sizeof out);
}

void Format(Run &, unsigned variant) {
  char key[] = "1234567812345678X";
  key[16 - (variant & 7)] = 0;
  SKF_FormatCard(key);
}

void EnumApps(Run &run, unsigned variant) {
  char names[300] = {};
  ULONG size = variant & 2 ? 5 : sizeof names;
  SKF_EnumApplication(run.device, variant & 1 ? nullptr : names, &size);
}

// FUZZ0-APP .. FUZZ3-APP, or the provisioned application's name.
char *AppName(unsigned variant, char (&name)[11]) {
  if (variant & 4) return std::strcpy(name, kAppName);
  name[4] = static_cast<char>('0' + variant % 4);
  return name;
}

void CreateApp(Run &run, unsigned variant) {
  char name[11] = "FUZZ-APP";
  char admin[] = "12345678";
  char user[] = "12345678";
  HAPPLICATION app = nullptr;
  if (SKF_CreateApplication(run.device, AppName(variant, name), admin, 10, user, 10,
                            variant & 8 ? SECURE_USER_ACCOUNT : SECURE_ANYONE_ACCOUNT,
                            &app) == SAR_OK) {
    run.app = run.Keep(app);
  }
}

void DeleteApp(Run &run, unsigned variant) {
  char name[11] = "FUZZ-APP";
  SKF_DeleteApplication(run.device, AppName(variant, name));
}

const Operation kOps[] = {
    {"enum_dev", EnumDev},
    {"reconnect", Reconnect},
    {"dev_info", DevInfo},
    {"set_label", SetLabel},
    {"transmit", Transmit},
    {"dev_auth", DevAuth},
    {"change_auth_key", ChangeDevAuthKey},
    {"gen_random", GenRandom},
    {"format", Format},
    {"enum_apps", EnumApps},
    {"create_app", CreateApp},
    {"open_app", OpenApp},
    {"delete_app", DeleteApp},
};

}  // namespace

std::span<const Operation> DeviceOps() { return kOps; }

}  // namespace fuzz
