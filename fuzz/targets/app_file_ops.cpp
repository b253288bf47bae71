// Application family with its files and PINs.
#include "fuzz/harness/families.h"

namespace fuzz {

namespace {

void GetPinInfo(Run &run, unsigned variant) {
  ULONG max = 0, left = 0;
  BOOL is_default = FALSE;
  SKF_GetPINInfo(run.app, variant & 1 ? ADMIN_TYPE : USER_TYPE, &max, &left, &is_default);
}

void ChangePin(Run &run, unsigned variant) {
  char old_pin[] = "12345678";
  char new_pin[] = "87654321";
  ULONG retries = 0;
  SKF_ChangePIN(run.app, variant & 1 ? ADMIN_TYPE : USER_TYPE, variant & 2 ? new_pin : old_pin,
                variant & 2 ? old_pin : new_pin, &retries);
}

void UnblockPin(Run &run, unsigned variant) {
  char admin[] = "12345678";
  char user[] = "11223344";
  if (variant & 1) admin[0] = '0';
  ULONG retries = 0;
  SKF_UnblockPIN(run.app, admin, user, &retries);
}

void CreateFile(Run &run, unsigned variant) {
  char name[8] = "FILE-0";
  static const ULONG kSizes[] = {0, 100, 1088, 32768};
  SKF_CreateFile(run.app, Numbered(name, variant), kSizes[(variant >> 2) & 3],
                 SECURE_ANYONE_ACCOUNT, SECURE_ANYONE_ACCOUNT);
}

void DeleteFile(Run &run, unsigned variant) {
  char name[8] = "FILE-0";
  SKF_DeleteFile(run.app, Numbered(name, variant));
}

void WriteFile(Run &run, unsigned variant) {
  char name[8] = "FILE-0";
  Bytes data = Filled(300, static_cast<std::uint8_t>(variant));
  SKF_WriteFile(run.app, Numbered(name, variant), (variant >> 2) * 40, data.data(),
                variant & 4 ? 300 : 17);
}

void ReadFile(Run &run, unsigned variant) {
  char name[8] = "FILE-0";
  BYTE out[400];
  ULONG size = sizeof out;
  SKF_ReadFile(run.app, Numbered(name, variant), (variant >> 2) * 40, variant & 4 ? 0 : 200,
               variant & 8 ? nullptr : out, &size);
}

void FileInfo(Run &run, unsigned variant) {
  char name[8] = "FILE-0";
  FILEATTRIBUTE info;
  SKF_GetFileInfo(run.app, Numbered(name, variant), &info);
}

void EnumFiles(Run &run, unsigned variant) {
  char list[800] = {};
  ULONG size = variant & 2 ? 4 : sizeof list;
  SKF_EnumFiles(run.app, variant & 1 ? nullptr : list, &size);
}

void CloseApp(Run &run, unsigned) { SKF_CloseApplication(run.app); }

const Operation kOps[] = {
    {"open_app", OpenApp},       {"verify_pin", VerifyUserPin}, {"pin_info", GetPinInfo},
    {"change_pin", ChangePin},   {"unblock_pin", UnblockPin},   {"create_file", CreateFile},
    {"delete_file", DeleteFile}, {"write_file", WriteFile},     {"read_file", ReadFile},
    {"file_info", FileInfo},     {"enum_files", EnumFiles},     {"close_app", CloseApp},
};

}  // namespace

std::span<const Operation> AppFileOps() { return kOps; }

}  // namespace fuzz
