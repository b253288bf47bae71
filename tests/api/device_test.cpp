// Device family against virtual keys: listing, connecting, device information, label, raw
// commands, device authentication and its state, the device key change.
#include <cstring>
#include <string>

#include "device_auth.h"
#include "keysim_fixture.h"

namespace {

using vkey::Bytes;

// The multi-string of reader names the library should report for these keys, in this order.
std::string ListOf(const std::vector<std::string> &keys) {
  std::string list;
  for (const auto &k : keys) list += vkey::ReaderOf(k) + '\0';
  return list + '\0';
}

class DeviceTest : public VirtualKeyTest {};

TEST_F(DeviceTest, EnumDevListsTheReadersAsAMultiString) {
  const std::string a = NewKey(false), b = NewKey(false);
  const std::string want = ListOf({a, b});
  ULONG size = 0;
  ASSERT_EQ(SKF(SKF_EnumDev)(TRUE, nullptr, &size), SAR_OK);
  EXPECT_EQ(size, want.size() + 1) << "one byte more than the list";
  std::string list(want.size() + 4, 'x');
  size = static_cast<ULONG>(want.size() - 1);
  EXPECT_EQ(SKF(SKF_EnumDev)(TRUE, list.data(), &size), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(list[0], 'x') << "nothing written";
  size = static_cast<ULONG>(list.size());
  ASSERT_EQ(SKF(SKF_EnumDev)(TRUE, list.data(), &size), SAR_OK);
  EXPECT_EQ(size, want.size());
  EXPECT_EQ(list.substr(0, size), want);

  ULONG state = 7;
  EXPECT_EQ(SKF(SKF_GetDevState)("any name at all", &state), SAR_OK);
  EXPECT_EQ(state, 1u);
  DEVHANDLE none = nullptr;
  EXPECT_EQ(SKF(SKF_ConnectDev)("KeySim no-such-key", &none), SAR_FAIL);
}

TEST_F(DeviceTest, GetDevInfoFillsTheNamedFieldsOnly) {
  const std::string key = NewKey(true, 12345678);
  DEVHANDLE device = Connect(key);
  DEVINFO info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(SKF(SKF_GetDevInfo)(device, &info), SAR_OK);
  EXPECT_EQ(info.Version.major, 1);
  EXPECT_EQ(info.Version.minor, 0);
  EXPECT_STREQ(info.Manufacturer, "VARN");
  EXPECT_STREQ(info.Issuer, "VARN");
  EXPECT_STREQ(info.Label, "VARN") << "the label of a formatted key";
  EXPECT_STREQ(info.SerialNumber, "12345678");
  // The u32 fields of the packed DEVINFO are misaligned: gtest binds its arguments to
  // references, so each is compared as a copy.
  EXPECT_EQ(ULONG{info.AlgSymCap}, 0x703u);
  EXPECT_EQ(ULONG{info.AlgAsymCap}, 0x30E00u);
  EXPECT_EQ(ULONG{info.AlgHashCap}, 1u);
  EXPECT_EQ(ULONG{info.DevAuthAlgId}, 0x201u);
  EXPECT_EQ(ULONG{info.MaxECCBufferSize}, 160u);
  EXPECT_EQ(ULONG{info.MaxBufferSize}, 4000u);
  EXPECT_EQ(static_cast<unsigned char>(info.Label[5]), 0xAB) << "bytes after the NUL untouched";
  EXPECT_EQ(info.Reserved[0], 0xAB);
  EXPECT_EQ(info.Reserved[63], 0xAB);

  // Space from the card information bytes, read here independently.
  vkey::RawCard raw(key);
  Bytes r;
  ASSERT_EQ(raw.Send({0xBF, 0xC8, 0x00, 0x00, 0x0F}, &r), 0x9000);
  ASSERT_EQ(r.size(), 15u);
  EXPECT_EQ(ULONG{info.TotalSpace}, ((r[7] & 3u) << 16) + r[5] * 256u + r[6]);
  EXPECT_EQ(ULONG{info.FreeSpace}, (((r[7] >> 4) & 3u) << 16) + r[13] * 256u + r[14] - 256);
}

TEST_F(DeviceTest, SetLabelRewritesTheLabelInPlace) {
  const std::string key = NewKey(true);
  DEVHANDLE device = Connect(key);
  vkey::RawCard raw(key);
  ASSERT_TRUE(raw.SelectPath({0xEF01}));
  const auto before = raw.ReadPrefixed();
  ASSERT_TRUE(before);
  ASSERT_EQ(before->size(), 1156u);

  const std::string label31(31, 'L');
  ASSERT_EQ(SKF(SKF_SetLabel)(device, label31.c_str()), SAR_OK);
  EXPECT_EQ(SKF(SKF_SetLabel)(device, std::string(32, 'M').c_str()), SAR_INVALIDPARAMERR);
  ASSERT_TRUE(raw.SelectPath({0xEF01}));
  const auto after = raw.ReadPrefixed();
  ASSERT_TRUE(after);
  ASSERT_EQ(after->size(), before->size()) << "written back with the length read";
  Bytes want = *before;
  std::memcpy(want.data(), label31.c_str(), 32);
  EXPECT_EQ(*after, want);
  DEVINFO info{};
  ASSERT_EQ(SKF(SKF_GetDevInfo)(device, &info), SAR_OK);
  EXPECT_EQ(std::string(info.Label), label31);

  // A label longer than the structure's field is cut to fit with its NUL.
  Bytes long_label = *before;
  std::memset(long_label.data(), 'Z', 60);
  ASSERT_TRUE(raw.SelectPath({0xEF01}));
  ASSERT_TRUE(raw.WritePrefixed(long_label));
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(SKF(SKF_GetDevInfo)(device, &info), SAR_OK);
  EXPECT_EQ(std::string(info.Label, sizeof info.Label), std::string(31, 'Z') + '\0');
  EXPECT_STREQ(info.SerialNumber, "20261210");
}

TEST_F(DeviceTest, TransmitAppendsTheStatusWordLowByteFirst) {
  DEVHANDLE device = Connect(NewKey(false));
  const BYTE challenge[] = {0x00, 0x84, 0x00, 0x00, 0x08};
  BYTE out[16] = {};
  ULONG size = 9;
  EXPECT_EQ(SKF(SKF_Transmit)(device, challenge, 5, out, &size), SAR_BUFFER_TOO_SMALL);
  size = sizeof out;
  ASSERT_EQ(SKF(SKF_Transmit)(device, challenge, 5, out, &size), SAR_OK);
  ASSERT_EQ(size, 10u);
  EXPECT_EQ(out[8], 0x00);
  EXPECT_EQ(out[9], 0x90);
  // A refusal is an answer too.
  const BYTE missing[] = {0x00, 0xA4, 0x02, 0x00, 0x02, 0x12, 0x34};
  size = sizeof out;
  ASSERT_EQ(SKF(SKF_Transmit)(device, missing, sizeof missing, out, &size), SAR_OK);
  ASSERT_EQ(size, 2u);
  EXPECT_EQ(out[0], 0x82);
  EXPECT_EQ(out[1], 0x6A);
}

// The device authentication state: one device of the process, cleared by connecting,
// disconnecting and failing. Deleting an unknown application shows it: SAR_FAIL once past the
// authentication check, SAR_INVALIDHANDLEERR before it.
TEST_F(DeviceTest, DeviceAuthenticationStateAcrossConnections) {
  const std::string a = NewKey(true), b = NewKey(true);
  char unknown[] = "no such application";
  DEVHANDLE da = Connect(a);
  Authenticate(da);
  EXPECT_EQ(SKF(SKF_DeleteApplication)(da, unknown), SAR_FAIL);
  DEVHANDLE db = Connect(b);
  EXPECT_EQ(SKF(SKF_DeleteApplication)(da, unknown), SAR_INVALIDHANDLEERR) << "connect clears";
  Authenticate(da);
  EXPECT_EQ(SKF(SKF_DeleteApplication)(db, unknown), SAR_INVALIDHANDLEERR) << "other device";
  Authenticate(db);
  EXPECT_EQ(SKF(SKF_DeleteApplication)(db, unknown), SAR_FAIL);
  ASSERT_EQ(SKF(SKF_DisConnectDev)(da), SAR_OK);
  connected_.erase(connected_.begin());
  EXPECT_EQ(SKF(SKF_DeleteApplication)(db, unknown), SAR_INVALIDHANDLEERR) << "disconnect clears";

  // A failed authentication clears it as well.
  Authenticate(db);
  ASSERT_TRUE(vkey::Knob(b, "builtin_key", "off"));
  const BYTE wrong[16] = {1};
  EXPECT_EQ(SKF(SKF_DevAuth)(db, wrong, sizeof wrong), SAR_FAIL);
  EXPECT_EQ(SKF(SKF_DeleteApplication)(db, unknown), SAR_INVALIDHANDLEERR);
}

TEST_F(DeviceTest, DevAuthWithTheDeviceKeyAndItsChange) {
  const std::string key = NewKey(true);  // device key "1234567812345678"
  DEVHANDLE device = Connect(key);
  ASSERT_TRUE(vkey::Knob(key, "builtin_key", "off"));
  Bytes data = DeviceAuthData(Challenge(device), "1234567812345678");
  ASSERT_EQ(SKF(SKF_DevAuth)(device, data.data(), 16), SAR_OK);

  const BYTE long_key[17] = {};
  std::uint64_t before = vkey::Commands(key);
  EXPECT_EQ(SKF(SKF_ChangeDevAuthKey)(device, long_key, 17), SAR_INDATALENERR);
  EXPECT_EQ(vkey::Commands(key), before + 1) << "only the MF selection";

  const std::uint64_t writes = vkey::Commands(key, 0x80, 0xD4);
  const char *next = "NEWDEVICEKEY0001";
  const ULONG changed = SKF(SKF_ChangeDevAuthKey)(device, reinterpret_cast<const BYTE *>(next), 16);
  EXPECT_EQ(vkey::Commands(key, 0x80, 0xD4), writes + 1) << "the new key is sent";
  EXPECT_EQ(changed, SAR_OK);
  if (changed == SAR_OK) {
    data = DeviceAuthData(Challenge(device), next);
    EXPECT_EQ(SKF(SKF_DevAuth)(device, data.data(), 16), SAR_OK) << "the new key holds";
  }
}

TEST_F(DeviceTest, ChangeDevAuthKeyKeepsTheBuiltInKey) {
  const std::string key = NewKey(false);
  DEVHANDLE device = Connect(key);
  const BYTE next[16] = {9, 9, 9};
  const std::uint64_t before = vkey::Commands(key);
  EXPECT_EQ(SKF(SKF_ChangeDevAuthKey)(device, next, 16), SAR_FAIL) << "not authenticated";
  EXPECT_EQ(vkey::Commands(key), before) << "nothing sent";
  Authenticate(device);
  EXPECT_EQ(SKF(SKF_ChangeDevAuthKey)(device, next, 16), SAR_OK);
  EXPECT_EQ(vkey::Commands(key, 0x80, 0xD4), 0u) << "no key written";
}

}  // namespace
