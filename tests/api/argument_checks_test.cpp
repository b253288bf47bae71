// Argument checks of every export built, in their order, with their codes. The handles are
// records the library made whose device readerio no longer knows, so an export that reached the
// card would fail with SAR_FAIL instead of the code of the check it passed over.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "argument_cases.h"
#include "tokencore.h"

namespace {

using namespace argcases;

class ArgumentChecks : public ::testing::Test {
 protected:
  const LibraryRecords &records = SharedRecords();
  HAPPLICATION app = records.app;
  HAPPLICATION closed_app = records.closed_app;
  HCONTAINER container = records.container;
  HCONTAINER closed_container = records.closed_container;
  DEVHANDLE dev = kStrangeDevice;

  char name32_[33] = {};
  char name33_[34] = {};
  char name64_[65] = {};
  char name65_[66] = {};
  char *name32 = name32_, *name33 = name33_, *name64 = name64_, *name65 = name65_;
  char buffer[256] = {};
  BYTE data[16] = {};
  ULONG size = sizeof buffer;
  ULONG number = 0;
  HANDLE handle = nullptr;

  void SetUp() override {
    std::memset(name32_, 'n', 32);
    std::memset(name33_, 'n', 33);
    std::memset(name64_, 'c', 64);
    std::memset(name65_, 'c', 65);
  }
};

TEST_F(ArgumentChecks, DeviceFamily) {
  char empty[] = "";
  char label31[32] = {};
  std::memset(label31, 'L', 31);
  RunCases({
      {"wait: no name buffer",
       [&] {
         ULONG n = 8;
         return SKF(SKF_WaitForDevEvent)(nullptr, &n, &number);
       },
       SAR_INVALIDPARAMERR},
      {"wait: 7-byte buffer",
       [&] {
         ULONG n = 7;
         return SKF(SKF_WaitForDevEvent)(buffer, &n, &number);
       },
       SAR_NAMELENERR},
      {"enum: no size", [&] { return SKF(SKF_EnumDev)(FALSE, buffer, nullptr); },
       SAR_INVALIDPARAMERR},
      {"connect: no name", [&] { return SKF(SKF_ConnectDev)(nullptr, &handle); },
       SAR_INVALIDPARAMERR},
      {"connect: no handle out", [&] { return SKF(SKF_ConnectDev)("KeySim x", nullptr); },
       SAR_INVALIDPARAMERR},
      {"disconnect: no handle", [&] { return SKF(SKF_DisConnectDev)(nullptr); },
       SAR_INVALIDHANDLEERR},
      {"state: no name", [&] { return SKF(SKF_GetDevState)(nullptr, &number); },
       SAR_INVALIDPARAMERR},
      {"state: no state out", [&] { return SKF(SKF_GetDevState)("x", nullptr); },
       SAR_INVALIDPARAMERR},
      {"label: no handle first", [&] { return SKF(SKF_SetLabel)(nullptr, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"label: no label", [&] { return SKF(SKF_SetLabel)(dev, nullptr); }, SAR_INVALIDPARAMERR},
      {"label: empty", [&] { return SKF(SKF_SetLabel)(dev, empty); }, SAR_INVALIDPARAMERR},
      {"label: 32 characters", [&] { return SKF(SKF_SetLabel)(dev, name32); }, SAR_INVALIDPARAMERR},
      {"label: 31 characters reach the card", [&] { return SKF(SKF_SetLabel)(dev, label31); },
       SAR_FAIL},
      {"info: no handle",
       [&] {
         DEVINFO i;
         return SKF(SKF_GetDevInfo)(nullptr, &i);
       },
       SAR_INVALIDHANDLEERR},
      {"info: no structure", [&] { return SKF(SKF_GetDevInfo)(dev, nullptr); },
       SAR_INVALIDPARAMERR},
      {"lock: nothing done", [&] { return SKF(SKF_LockDev)(nullptr, 0); }, SAR_OK},
      {"unlock: nothing done", [&] { return SKF(SKF_UnlockDev)(nullptr); }, SAR_OK},
      {"transmit: no handle", [&] { return SKF(SKF_Transmit)(nullptr, data, 5, data, &size); },
       SAR_INVALIDHANDLEERR},
      {"transmit: no command", [&] { return SKF(SKF_Transmit)(dev, nullptr, 5, data, &size); },
       SAR_INVALIDHANDLEERR},
      {"transmit: no output", [&] { return SKF(SKF_Transmit)(dev, data, 5, nullptr, &size); },
       SAR_INVALIDHANDLEERR},
      {"transmit: no length", [&] { return SKF(SKF_Transmit)(dev, data, 5, data, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"key change: no handle", [&] { return SKF(SKF_ChangeDevAuthKey)(nullptr, data, 16); },
       SAR_INVALIDHANDLEERR},
      {"key change: no key", [&] { return SKF(SKF_ChangeDevAuthKey)(dev, nullptr, 16); },
       SAR_INVALIDPARAMERR},
      {"key change: not authenticated", [&] { return SKF(SKF_ChangeDevAuthKey)(dev, data, 17); },
       SAR_FAIL},
      {"auth: no handle", [&] { return SKF(SKF_DevAuth)(nullptr, data, 16); },
       SAR_INVALIDHANDLEERR},
      {"auth: no data", [&] { return SKF(SKF_DevAuth)(dev, nullptr, 16); }, SAR_INVALIDPARAMERR},
      {"auth: 8 bytes", [&] { return SKF(SKF_DevAuth)(dev, data, 8); }, SAR_INDATALENERR},
      {"auth: 16 bytes reach the card", [&] { return SKF(SKF_DevAuth)(dev, data, 16); }, SAR_FAIL},
  });
}

TEST_F(ArgumentChecks, ApplicationFamily) {
  char empty[] = "";
  char a[] = "a";
  RunCases({
      {"enum: no handle", [&] { return SKF(SKF_EnumApplication)(nullptr, buffer, &size); },
       SAR_INVALIDHANDLEERR},
      {"enum: no size", [&] { return SKF(SKF_EnumApplication)(dev, buffer, nullptr); },
       SAR_INVALIDPARAMERR},
      {"open: no handle first", [&] { return SKF(SKF_OpenApplication)(nullptr, nullptr, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"open: no name", [&] { return SKF(SKF_OpenApplication)(dev, nullptr, &handle); },
       SAR_INVALIDPARAMERR},
      {"open: no handle out", [&] { return SKF(SKF_OpenApplication)(dev, a, nullptr); },
       SAR_INVALIDPARAMERR},
      {"delete: name first", [&] { return SKF(SKF_DeleteApplication)(nullptr, nullptr); },
       SAR_APPLICATION_NAME_INVALID},
      {"delete: empty name", [&] { return SKF(SKF_DeleteApplication)(dev, empty); },
       SAR_APPLICATION_NAME_INVALID},
      {"delete: 33 characters", [&] { return SKF(SKF_DeleteApplication)(dev, name33); },
       SAR_APPLICATION_NAME_INVALID},
      {"delete: not authenticated", [&] { return SKF(SKF_DeleteApplication)(dev, name32); },
       SAR_INVALIDHANDLEERR},
      {"delete: no handle", [&] { return SKF(SKF_DeleteApplication)(nullptr, a); },
       SAR_INVALIDHANDLEERR},
      {"close: no handle", [&] { return SKF(SKF_CloseApplication)(nullptr); },
       SAR_INVALIDHANDLEERR},
  });
}

TEST_F(ArgumentChecks, FileFamily) {
  char empty[] = "";
  char f[] = "f";
  FILEATTRIBUTE info;
  ULONG length = 0;
  RunCases({
      {"enum: no handle", [&] { return SKF(SKF_EnumFiles)(nullptr, buffer, &size); },
       SAR_INVALIDHANDLEERR},
      {"enum: closed", [&] { return SKF(SKF_EnumFiles)(closed_app, buffer, &size); },
       SAR_INVALIDHANDLEERR},
      {"enum: no size", [&] { return SKF(SKF_EnumFiles)(app, buffer, nullptr); },
       SAR_INVALIDPARAMERR},
      {"info: name before handle", [&] { return SKF(SKF_GetFileInfo)(nullptr, nullptr, &info); },
       SAR_INVALIDPARAMERR},
      {"info: empty name", [&] { return SKF(SKF_GetFileInfo)(app, empty, &info); },
       SAR_INVALIDPARAMERR},
      {"info: 33 characters", [&] { return SKF(SKF_GetFileInfo)(app, name33, &info); },
       SAR_INVALIDPARAMERR},
      {"info: no structure", [&] { return SKF(SKF_GetFileInfo)(app, f, nullptr); },
       SAR_INVALIDPARAMERR},
      {"info: no handle", [&] { return SKF(SKF_GetFileInfo)(nullptr, f, &info); },
       SAR_INVALIDHANDLEERR},
      {"info: closed", [&] { return SKF(SKF_GetFileInfo)(closed_app, f, &info); },
       SAR_INVALIDHANDLEERR},
      {"info: 32 characters reach the card",
       [&] { return SKF(SKF_GetFileInfo)(app, name32, &info); }, SAR_FAIL},
      {"read: name before handle",
       [&] { return SKF(SKF_ReadFile)(nullptr, nullptr, 0, 0, data, &length); },
       SAR_INVALIDPARAMERR},
      {"read: no length", [&] { return SKF(SKF_ReadFile)(app, f, 0, 0, data, nullptr); },
       SAR_INVALIDPARAMERR},
      {"read: no handle", [&] { return SKF(SKF_ReadFile)(nullptr, f, 0, 0, data, &length); },
       SAR_INVALIDHANDLEERR},
      {"read: closed", [&] { return SKF(SKF_ReadFile)(closed_app, f, 0, 0, data, &length); },
       SAR_INVALIDHANDLEERR},
      {"write: no data before handle",
       [&] { return SKF(SKF_WriteFile)(nullptr, f, 0, nullptr, 1); }, SAR_INVALIDPARAMERR},
      {"write: 33 characters", [&] { return SKF(SKF_WriteFile)(app, name33, 0, data, 1); },
       SAR_INVALIDPARAMERR},
      {"write: no handle", [&] { return SKF(SKF_WriteFile)(nullptr, f, 0, data, 1); },
       SAR_INVALIDHANDLEERR},
      {"write: closed", [&] { return SKF(SKF_WriteFile)(closed_app, f, 0, data, 1); },
       SAR_INVALIDHANDLEERR},
  });
}

TEST_F(ArgumentChecks, ContainerFamily) {
  char empty[] = "";
  char c[] = "c";
  RunCases({
      {"open: handle first", [&] { return SKF(SKF_OpenContainer)(nullptr, nullptr, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"open: no name", [&] { return SKF(SKF_OpenContainer)(app, nullptr, &handle); },
       SAR_INVALIDPARAMERR},
      {"open: no handle out", [&] { return SKF(SKF_OpenContainer)(app, c, nullptr); },
       SAR_INVALIDPARAMERR},
      {"open: empty name", [&] { return SKF(SKF_OpenContainer)(app, empty, &handle); },
       SAR_NAMELENERR},
      {"open: 65 characters", [&] { return SKF(SKF_OpenContainer)(closed_app, name65, &handle); },
       SAR_NAMELENERR},
      {"open: closed", [&] { return SKF(SKF_OpenContainer)(closed_app, name64, &handle); },
       SAR_INVALIDHANDLEERR},
      {"open: 64 characters reach the card",
       [&] { return SKF(SKF_OpenContainer)(app, name64, &handle); }, SAR_FAIL},
      {"close: no handle", [&] { return SKF(SKF_CloseContainer)(nullptr); }, SAR_INVALIDHANDLEERR},
      {"enum: no handle", [&] { return SKF(SKF_EnumContainer)(nullptr, buffer, &size); },
       SAR_INVALIDHANDLEERR},
      {"enum: closed", [&] { return SKF(SKF_EnumContainer)(closed_app, buffer, &size); },
       SAR_INVALIDHANDLEERR},
      {"enum: no size", [&] { return SKF(SKF_EnumContainer)(app, buffer, nullptr); },
       SAR_INVALIDPARAMERR},
      {"type: no handle", [&] { return SKF(SKF_GetContianerType)(nullptr, &number); },
       SAR_INVALIDHANDLEERR},
      {"type: closed", [&] { return SKF(SKF_GetContianerType)(closed_container, &number); },
       SAR_INVALIDHANDLEERR},
      {"type: no output", [&] { return SKF(SKF_GetContianerType)(container, nullptr); },
       SAR_INVALIDPARAMERR},
      {"type (second name): closed",
       [&] { return SKF(SKF_GetContainerType)(closed_container, &number); }, SAR_INVALIDHANDLEERR},
      {"type (second name): no output",
       [&] { return SKF(SKF_GetContainerType)(container, nullptr); }, SAR_INVALIDPARAMERR},
      {"property: closed", [&] { return SKF(SKF_GetContianerProperty)(closed_container, &number); },
       SAR_INVALIDHANDLEERR},
      {"property: no output", [&] { return SKF(SKF_GetContianerProperty)(container, nullptr); },
       SAR_INVALIDPARAMERR},
      {"import: no handle", [&] { return SKF(SKF_ImportCertificate)(nullptr, TRUE, nullptr, 0); },
       SAR_INVALIDHANDLEERR},
      {"import: certificate before device",
       [&] { return SKF(SKF_ImportCertificate)(closed_container, TRUE, nullptr, 0); },
       SAR_INVALIDPARAMERR},
      {"import: closed",
       [&] { return SKF(SKF_ImportCertificate)(closed_container, TRUE, data, 1); },
       SAR_INVALIDHANDLEERR},
      {"export: no handle", [&] { return SKF(SKF_ExportCertificate)(nullptr, TRUE, data, &size); },
       SAR_INVALIDHANDLEERR},
      {"export: closed",
       [&] { return SKF(SKF_ExportCertificate)(closed_container, TRUE, data, &size); },
       SAR_INVALIDHANDLEERR},
      {"export: no length",
       [&] { return SKF(SKF_ExportCertificate)(container, TRUE, data, nullptr); },
       SAR_INVALIDPARAMERR},
  });
}

TEST_F(ArgumentChecks, PinFamily) {
  char empty[] = "";
  char pin5[] = "12345", pin6[] = "123456", pin17[] = "12345678901234567";
  char vemto[] = "vemto", vemt0[] = "vemt0", pin8[] = "12345678";
  ULONG max = 0, left = 0;
  BOOL fresh = FALSE;
  RunCases({
      {"verify: no handle", [&] { return SKF(SKF_VerifyPIN)(nullptr, 1, pin6, &number); },
       SAR_INVALIDHANDLEERR},
      {"verify: no PIN", [&] { return SKF(SKF_VerifyPIN)(app, 1, nullptr, &number); },
       SAR_INVALIDPARAMERR},
      {"verify: no retries out", [&] { return SKF(SKF_VerifyPIN)(app, 1, pin6, nullptr); },
       SAR_INVALIDPARAMERR},
      {"verify: 5 characters", [&] { return SKF(SKF_VerifyPIN)(app, 1, pin5, &number); },
       SAR_PIN_LEN_RANGE},
      {"verify: 17 characters", [&] { return SKF(SKF_VerifyPIN)(app, 1, pin17, &number); },
       SAR_PIN_LEN_RANGE},
      {"verify: length before device",
       [&] { return SKF(SKF_VerifyPIN)(closed_app, 1, pin5, &number); }, SAR_PIN_LEN_RANGE},
      {"verify: closed", [&] { return SKF(SKF_VerifyPIN)(closed_app, 1, pin6, &number); },
       SAR_INVALIDHANDLEERR},
      {"verify: default admin PIN is no user PIN",
       [&] { return SKF(SKF_VerifyPIN)(app, 1, vemto, &number); }, SAR_PIN_LEN_RANGE},
      {"verify: 5-character admin PIN", [&] { return SKF(SKF_VerifyPIN)(app, 0, vemt0, &number); },
       SAR_PIN_LEN_RANGE},
      {"verify: default admin PIN reaches the card",
       [&] { return SKF(SKF_VerifyPIN)(app, 0, vemto, &number); }, SAR_FAIL},
      {"change: no handle", [&] { return SKF(SKF_ChangePIN)(nullptr, 1, pin6, pin6, &number); },
       SAR_INVALIDHANDLEERR},
      {"change: no old PIN", [&] { return SKF(SKF_ChangePIN)(app, 1, nullptr, pin6, &number); },
       SAR_INVALIDPARAMERR},
      {"change: no retries out", [&] { return SKF(SKF_ChangePIN)(app, 1, pin6, pin6, nullptr); },
       SAR_INVALIDPARAMERR},
      {"change: empty old PIN", [&] { return SKF(SKF_ChangePIN)(app, 1, empty, pin6, &number); },
       SAR_PIN_INVALID},
      {"change: empty new PIN", [&] { return SKF(SKF_ChangePIN)(app, 1, pin6, empty, &number); },
       SAR_PIN_INVALID},
      {"change: short new user PIN",
       [&] { return SKF(SKF_ChangePIN)(app, 1, pin6, pin5, &number); }, SAR_PIN_LEN_RANGE},
      {"change: type 2 is the user PIN",
       [&] { return SKF(SKF_ChangePIN)(app, 2, pin6, pin5, &number); }, SAR_PIN_LEN_RANGE},
      {"change: short new admin PIN",
       [&] { return SKF(SKF_ChangePIN)(app, 0, pin6, pin5, &number); }, SAR_INVALIDPARAMERR},
      {"change: old PIN length not checked",
       [&] { return SKF(SKF_ChangePIN)(app, 0, pin5, vemto, &number); }, SAR_FAIL},
      {"change: closed", [&] { return SKF(SKF_ChangePIN)(closed_app, 1, pin6, pin6, &number); },
       SAR_INVALIDHANDLEERR},
      {"info: outputs first", [&] { return SKF(SKF_GetPINInfo)(nullptr, 1, &max, &left, nullptr); },
       SAR_INVALIDPARAMERR},
      {"info: no handle", [&] { return SKF(SKF_GetPINInfo)(nullptr, 1, &max, &left, &fresh); },
       SAR_INVALIDHANDLEERR},
      {"info: closed", [&] { return SKF(SKF_GetPINInfo)(closed_app, 1, &max, &left, &fresh); },
       SAR_INVALIDHANDLEERR},
      {"unblock: no handle", [&] { return SKF(SKF_UnblockPIN)(nullptr, pin8, pin6, &number); },
       SAR_INVALIDHANDLEERR},
      {"unblock: no admin PIN", [&] { return SKF(SKF_UnblockPIN)(app, nullptr, pin6, &number); },
       SAR_PIN_INVALID},
      {"unblock: no new PIN", [&] { return SKF(SKF_UnblockPIN)(app, pin8, nullptr, &number); },
       SAR_PIN_INVALID},
      {"unblock: no retries out", [&] { return SKF(SKF_UnblockPIN)(app, pin8, pin6, nullptr); },
       SAR_INVALIDPARAMERR},
      {"unblock: short user PIN", [&] { return SKF(SKF_UnblockPIN)(app, pin8, pin5, &number); },
       SAR_PIN_LEN_RANGE},
      {"unblock: short admin PIN", [&] { return SKF(SKF_UnblockPIN)(app, pin5, pin6, &number); },
       SAR_INVALIDPARAMERR},
      {"unblock: closed", [&] { return SKF(SKF_UnblockPIN)(closed_app, vemto, pin6, &number); },
       SAR_INVALIDHANDLEERR},
      {"unblock: default admin PIN reaches the card",
       [&] { return SKF(SKF_UnblockPIN)(app, vemto, pin6, &number); }, SAR_FAIL},
      {"clear: any handle", [&] { return SKF(SKF_ClearSecureState)(nullptr); }, SAR_OK},
  });
}

TEST_F(ArgumentChecks, CreateAndDelete) {
  char empty[] = "";
  char a[] = "a";
  char pin5[] = "12345", pin8[] = "12345678", vemto[] = "vemto";
  auto create_app = [&](char *name, char *admin, char *user, HAPPLICATION *out) {
    return SKF(SKF_CreateApplication)(dev, name, admin, 3, user, 3, 0xFF, out);
  };
  RunCases({
      {"app: no name", [&] { return create_app(nullptr, pin8, pin8, &handle); },
       SAR_APPLICATION_NAME_INVALID},
      {"app: empty name", [&] { return create_app(empty, pin8, pin8, &handle); },
       SAR_APPLICATION_NAME_INVALID},
      {"app: 33 characters", [&] { return create_app(name33, pin8, pin8, &handle); },
       SAR_APPLICATION_NAME_INVALID},
      {"app: no admin PIN", [&] { return create_app(a, nullptr, pin8, &handle); },
       SAR_INVALIDPARAMERR},
      {"app: no user PIN", [&] { return create_app(a, pin8, nullptr, &handle); },
       SAR_INVALIDPARAMERR},
      {"app: no handle out", [&] { return create_app(a, pin8, pin8, nullptr); },
       SAR_INVALIDPARAMERR},
      {"app: short user PIN", [&] { return create_app(a, pin8, pin5, &handle); },
       SAR_INVALIDPARAMERR},
      {"app: short admin PIN", [&] { return create_app(a, pin5, pin8, &handle); },
       SAR_INVALIDPARAMERR},
      {"app: not authenticated", [&] { return create_app(name32, vemto, pin8, &handle); },
       SAR_INVALIDHANDLEERR},
      {"app: no device",
       [&] { return SKF(SKF_CreateApplication)(nullptr, a, pin8, 3, pin8, 3, 0, &handle); },
       SAR_INVALIDHANDLEERR},
      {"file: name first", [&] { return SKF(SKF_CreateFile)(nullptr, nullptr, 1, 0, 0); },
       SAR_INVALIDPARAMERR},
      {"file: 33 characters", [&] { return SKF(SKF_CreateFile)(app, name33, 1, 0, 0); },
       SAR_INVALIDPARAMERR},
      {"file: no handle", [&] { return SKF(SKF_CreateFile)(nullptr, a, 1, 0, 0); },
       SAR_INVALIDHANDLEERR},
      {"file: size before device", [&] { return SKF(SKF_CreateFile)(closed_app, a, 32769, 0, 0); },
       SAR_FAIL},
      {"file: closed", [&] { return SKF(SKF_CreateFile)(closed_app, a, 32768, 0, 0); },
       SAR_INVALIDHANDLEERR},
      {"delete file: name first", [&] { return SKF(SKF_DeleteFile)(nullptr, empty); },
       SAR_INVALIDPARAMERR},
      {"delete file: closed", [&] { return SKF(SKF_DeleteFile)(closed_app, a); },
       SAR_INVALIDHANDLEERR},
      {"container: name first", [&] { return SKF(SKF_CreateContainer)(nullptr, nullptr, &handle); },
       SAR_INVALIDPARAMERR},
      {"container: no handle out", [&] { return SKF(SKF_CreateContainer)(nullptr, a, nullptr); },
       SAR_INVALIDPARAMERR},
      {"container: empty name", [&] { return SKF(SKF_CreateContainer)(nullptr, empty, &handle); },
       SAR_NAMELENERR},
      {"container: 65 characters",
       [&] { return SKF(SKF_CreateContainer)(nullptr, name65, &handle); }, SAR_NAMELENERR},
      {"container: no handle", [&] { return SKF(SKF_CreateContainer)(nullptr, name64, &handle); },
       SAR_INVALIDHANDLEERR},
      {"container: closed", [&] { return SKF(SKF_CreateContainer)(closed_app, a, &handle); },
       SAR_INVALIDHANDLEERR},
      {"container: 64 characters reach the card",
       [&] { return SKF(SKF_CreateContainer)(app, name64, &handle); }, SAR_FAIL},
      {"delete container: handle first", [&] { return SKF(SKF_DeleteContainer)(nullptr, nullptr); },
       SAR_INVALIDHANDLEERR},
      {"delete container: no name", [&] { return SKF(SKF_DeleteContainer)(app, nullptr); },
       SAR_INVALIDPARAMERR},
      {"delete container: 65 characters",
       [&] { return SKF(SKF_DeleteContainer)(closed_app, name65); }, SAR_NAMELENERR},
      {"delete container: closed", [&] { return SKF(SKF_DeleteContainer)(closed_app, a); },
       SAR_INVALIDHANDLEERR},
  });
}

TEST_F(ArgumentChecks, CloseMarksTheRecordDead) {
  const LibraryRecords fresh = MakeRecords();
  auto *app_record = static_cast<HandleRecord *>(fresh.app);
  auto *container_record = static_cast<HandleRecord *>(fresh.container);
  ASSERT_EQ(app_record->id, 0xAD01u);
  ASSERT_EQ(container_record->id, 0xDF11u);
  EXPECT_EQ(SKF(SKF_CloseApplication)(fresh.app), SAR_OK);
  EXPECT_EQ(SKF(SKF_CloseContainer)(fresh.container), SAR_OK);
  for (const HandleRecord *r : {app_record, container_record}) {
    EXPECT_EQ(r->id, 0xFFu);
    EXPECT_EQ(r->device, nullptr);
  }
  EXPECT_EQ(SKF(SKF_EnumFiles)(fresh.app, buffer, &size), SAR_INVALIDHANDLEERR);
  EXPECT_EQ(SKF(SKF_GetContianerType)(fresh.container, &number), SAR_INVALIDHANDLEERR);
  for (HANDLE any : {static_cast<HANDLE>(nullptr), static_cast<HANDLE>(fresh.app)}) {
    EXPECT_EQ(SKF(SKF_CloseHandle)(any), SAR_OK);
  }
  EXPECT_EQ(app_record->id, 0xFFu);
}

// The reader list is not consulted when no present reader is asked for.
TEST_F(ArgumentChecks, EnumDevWithoutPresentReadersIsTheEmptyList) {
  ULONG needed = 0;
  ASSERT_EQ(SKF(SKF_EnumDev)(FALSE, nullptr, &needed), SAR_OK);
  EXPECT_EQ(needed, 3u);
  char list[4] = {'x', 'x', 'x', 'x'};
  ULONG room = 1;
  EXPECT_EQ(SKF(SKF_EnumDev)(FALSE, list, &room), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(list[0], 'x') << "nothing written";
  room = 2;
  ASSERT_EQ(SKF(SKF_EnumDev)(FALSE, list, &room), SAR_OK);
  EXPECT_EQ(room, 2u);
  EXPECT_EQ(std::string(list, 3), std::string("\0\0x", 3));
}

}  // namespace
