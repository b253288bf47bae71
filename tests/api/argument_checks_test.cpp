// Argument checks of every export built, in their order, with their codes. The handles carry a
// device that readerio never issued, so an export that reached the card would fail with
// SAR_FAIL instead of the code of the check it passed over.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "tokencore.h"

namespace {

// The handle records as the library lays them out: DF identifier, then the device.
struct HandleRecord {
  std::uint32_t id;
  DEVHANDLE device;
};

DEVHANDLE const kStrangeDevice = reinterpret_cast<DEVHANDLE>(std::uintptr_t{0x13});

struct Case {
  const char *what;
  std::function<ULONG()> call;
  ULONG want;
};

void RunCases(const std::vector<Case> &cases) {
  for (const auto &c : cases) EXPECT_EQ(c.call(), c.want) << c.what;
}

class ArgumentChecks : public ::testing::Test {
 protected:
  HandleRecord app_{0xAD01, kStrangeDevice};
  HandleRecord closed_app_{0xFF, nullptr};
  HandleRecord container_{0xDF11, kStrangeDevice};
  HandleRecord closed_container_{0xFF, nullptr};
  HAPPLICATION app = &app_;
  HAPPLICATION closed_app = &closed_app_;
  HCONTAINER container = &container_;
  HCONTAINER closed_container = &closed_container_;
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

TEST_F(ArgumentChecks, CloseMarksTheRecordDead) {
  HandleRecord app_record{0xAD03, kStrangeDevice};
  HandleRecord container_record{0xDF32, kStrangeDevice};
  EXPECT_EQ(SKF(SKF_CloseApplication)(&app_record), SAR_OK);
  EXPECT_EQ(SKF(SKF_CloseContainer)(&container_record), SAR_OK);
  for (const HandleRecord &r : {app_record, container_record}) {
    EXPECT_EQ(r.id, 0xFFu);
    EXPECT_EQ(r.device, nullptr);
  }
  EXPECT_EQ(SKF(SKF_EnumFiles)(&app_record, buffer, &size), SAR_INVALIDHANDLEERR);
  EXPECT_EQ(SKF(SKF_GetContianerType)(&container_record, &number), SAR_INVALIDHANDLEERR);
  for (HANDLE any : {static_cast<HANDLE>(nullptr), static_cast<HANDLE>(&app_record)}) {
    EXPECT_EQ(SKF(SKF_CloseHandle)(any), SAR_OK);
  }
  EXPECT_EQ(app_record.id, 0xFFu);
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
