// Scenarios of the device, PIN, symmetric and MAC families.
#include <chrono>
#include <cstring>
#include <thread>

#include "pin_mapping.h"
#include "scenario.h"

namespace legacytest {

namespace {

constexpr char kDeviceKey[] = "1234567812345678";
constexpr std::uint16_t kDirectoryEf = 0xEF01;
constexpr char kFill = 0x7F;

// The names of a multi-string of `size` bytes, "[a,b]"; "(malformed)" unless it ends in NUL NUL.
std::string List(const char *list, ULONG size) {
  if (size < 2 || list[size - 1] != 0 || list[size - 2] != 0) return "(malformed)";
  std::string names;
  for (const char *p = list; *p; p += std::strlen(p) + 1) {
    names += (names.empty() ? "" : ",") + std::string(p);
  }
  return "[" + names + "]";
}

ULONG SignWithRsa(const host::Library &lib, HCONTAINER container) {
  BYTE data[20] = {1, 2, 3};
  BYTE signature[512] = {};
  ULONG length = sizeof signature;
  return SKF_OF(lib, SKF_RSASignData)(container, data, sizeof data, signature, &length);
}

}  // namespace

// The format's first step: tokencore resets the card (which clears its working memory),
// tokenbase does not.
std::string FormatDirectory(ScenarioRun &r) {
  const std::string key = r.Key(false);
  vkey::RawCard card(key);
  if (card.Send({0x80, 0x32, 0xC0, 0x80, 0x00}) != 0x9000) return "no pair in working memory";
  const ULONG code = SKF_OF(r.lib, SKF_FormatCard)(const_cast<char *>(kDeviceKey));
  const bool kept = card.Send({0x80, 0x34, 0x00, 0x00, 0x40}) == 0x9000;
  const auto directory = card.SelectPath({kDirectoryEf}) ? card.ReadPrefixed() : std::nullopt;
  if (!directory) return Code(code) + " no directory";
  return Code(code) + " " + std::to_string(directory->size()) + " " +
         vkey::TextAt(*directory, 0, 68) + (kept ? ", working memory kept" : ", reset");
}

std::string EnumAbsentLength(ScenarioRun &r) {
  ULONG size = 0;
  const ULONG code = SKF_OF(r.lib, SKF_EnumDev)(FALSE, nullptr, &size);
  return Code(code) + " " + std::to_string(size);
}

std::string EnumAbsentList(ScenarioRun &r) {
  char list[64];
  std::memset(list, kFill, sizeof list);
  ULONG size = sizeof list;
  const ULONG code = SKF_OF(r.lib, SKF_EnumDev)(FALSE, list, &size);
  return Code(code) + " " + std::to_string(size) + " " + List(list, size);
}

std::string EnumPresentShortBuffer(ScenarioRun &r) {
  r.Key(false);
  ULONG size = 0;
  SKF_OF(r.lib, SKF_EnumDev)(TRUE, nullptr, &size);
  std::string list(size, kFill);
  ULONG short_size = size - 2;  // the length query reports one byte more than the list
  const ULONG code = SKF_OF(r.lib, SKF_EnumDev)(TRUE, list.data(), &short_size);
  return Code(code) + (list == std::string(size, kFill) ? " untouched" : " written");
}

std::string WaitForArrival(ScenarioRun &r) {
  const std::string key = r.Key(false);
  vkey::Remove(key);
  std::thread arrival([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    vkey::Insert(key);
  });
  char name[256] = {};
  ULONG length = sizeof name;
  ULONG event = 0;
  const ULONG code = SKF_OF(r.lib, SKF_WaitForDevEvent)(name, &length, &event);
  arrival.join();
  return Code(code) + " event " + std::to_string(event) +
         (vkey::ReaderOf(key) == name ? " its name" : " another name");
}

std::string ConnectBuiltinAccepted(ScenarioRun &r) {
  const std::string key = r.Key(true);
  DEVHANDLE device = nullptr;
  const ULONG code = SKF_OF(r.lib, SKF_ConnectDev)(vkey::ReaderOf(key).c_str(), &device);
  if (device) SKF_OF(r.lib, SKF_DisConnectDev)(device);
  // The key is not left open: it connects once it refuses the built-in key.
  DEVHANDLE again = nullptr;
  const ULONG second = ConnectThrough(r.lib, key, &again);
  if (again) SKF_OF(r.lib, SKF_DisConnectDev)(again);
  return Code(code) + (device ? " handle" : " no handle") + ", then " + Code(second);
}

std::string ConnectBuiltinRefused(ScenarioRun &r) {
  const std::string key = r.Key(true);
  vkey::Knob(key, "builtin_key", "off");
  DEVHANDLE device = nullptr;
  const ULONG code = SKF_OF(r.lib, SKF_ConnectDev)(vkey::ReaderOf(key).c_str(), &device);
  if (device) SKF_OF(r.lib, SKF_DisConnectDev)(device);
  return Code(code) + (device ? " handle" : " no handle");
}

std::string ConnectNullName(ScenarioRun &r) {
  DEVHANDLE device = nullptr;
  return Code(SKF_OF(r.lib, SKF_ConnectDev)(nullptr, &device));
}

std::string ConnectEmptiesPinSlots(ScenarioRun &r) {
  std::string key;
  HAPPLICATION app = r.LoggedIn(&key);
  HCONTAINER container = r.Container(app, kRsaContainer);
  r.Connect(key);
  return Code(SignWithRsa(r.lib, container));
}

std::string DevInfoFields(ScenarioRun &r) {
  const std::string key = r.Key(true);
  DEVHANDLE device = r.Connect(key);
  // The card's free memory as the virtual key reports it (r7 bits 2-3, r13, r14).
  Bytes info;
  {
    vkey::RawCard card(key);
    if (card.Send({0xBF, 0xC8, 0x00, 0x00, 0x0F}, &info) != 0x9000 || info.size() != 15) {
      return "no card information";
    }
  }
  const long card_free = ((info[7] >> 2 & 3L) << 16) + info[13] * 256L + info[14];
  DEVINFO d;
  std::memset(&d, 0xEE, sizeof d);
  const ULONG code = SKF_OF(r.lib, SKF_GetDevInfo)(device, &d);
  char text[256];
  auto kept = [](ULONG v) { return v == 0xEEEEEEEE ? std::string("kept") : std::to_string(v); };
  std::snprintf(text, sizeof text, " sym %X asym %X hash %u auth %X total %u free card%+ld",
                unsigned(d.AlgSymCap), unsigned(d.AlgAsymCap), unsigned(d.AlgHashCap),
                unsigned(d.DevAuthAlgId), unsigned(d.TotalSpace),
                static_cast<long>(d.FreeSpace) - card_free);
  return Code(code) + text + " ecc " + kept(d.MaxECCBufferSize) + " buffer " +
         kept(d.MaxBufferSize) + " " + d.SerialNumber + " " + d.Label + " " + d.Manufacturer;
}

std::string TransmitChallenge(ScenarioRun &r) {
  const std::string key = r.Key(true);
  DEVHANDLE device = r.Connect(key);
  const BYTE command[] = {0x00, 0x84, 0x00, 0x00, 0x08};
  BYTE answer[64];
  ULONG length = sizeof answer;
  const std::uint64_t before = vkey::Commands(key);
  const ULONG code = SKF_OF(r.lib, SKF_Transmit)(device, command, sizeof command, answer, &length);
  const std::uint64_t sent = vkey::Commands(key) - before;
  return Code(code) + " length " +
         (length == sizeof answer ? std::string("kept") : std::to_string(length)) + ", " +
         std::to_string(sent) + " sent";
}

std::string UserPinResults(ScenarioRun &r) {
  HAPPLICATION app = r.App(r.Connect(r.Key(true)));
  ULONG retries = 0;
  char wrong[] = "87654321";
  const ULONG refused = SKF_OF(r.lib, SKF_VerifyPIN)(app, USER_TYPE, wrong, &retries);
  return Code(refused) + " " + std::to_string(retries) + ", " + Code(r.Login(app));
}

std::string AdminPinMacs(ScenarioRun &r) {
  HAPPLICATION app = r.App(r.Connect(r.Key(true)));
  ULONG retries = 0;
  char pin[] = "12345678", other[] = "87654321", user[] = "11223344";
  std::string codes = Code(SKF_OF(r.lib, SKF_VerifyPIN)(app, ADMIN_TYPE, pin, &retries));
  codes += " " + Code(SKF_OF(r.lib, SKF_ChangePIN)(app, ADMIN_TYPE, pin, other, &retries));
  codes += " " + Code(SKF_OF(r.lib, SKF_ChangePIN)(app, ADMIN_TYPE, other, pin, &retries));
  codes += " " + Code(SKF_OF(r.lib, SKF_UnblockPIN)(app, pin, user, &retries));
  codes += " " + Code(SKF_OF(r.lib, SKF_VerifyPIN)(app, USER_TYPE, user, &retries));
  return codes;
}

std::string ClearSecureStateKeepsPin(ScenarioRun &r) {
  HAPPLICATION app = r.LoggedIn();
  HCONTAINER container = r.Container(app, kRsaContainer);
  const ULONG cleared = SKF_OF(r.lib, SKF_ClearSecureState)(app);
  return Code(cleared) + " " + Code(SignWithRsa(r.lib, container));
}

std::string SharedPinSlot(ScenarioRun &r) {
  PinMapping::RemoveAny();
  PinMapping mapping(64);
  if (!mapping.Text()) return "no mapping";
  HAPPLICATION app = r.LoggedIn();
  const std::string held = mapping.Text();
  mapping.Text()[0] = '\0';
  HCONTAINER container = r.Container(app, kRsaContainer);
  return "'" + held + "' " + Code(SignWithRsa(r.lib, container));
}

std::string InitWithoutCard(ScenarioRun &r) {
  const std::string key = r.Key(true);
  DEVHANDLE device = r.Connect(key);
  BYTE value[16] = {};
  HANDLE session = nullptr;
  if (SKF_OF(r.lib, SKF_SetSymmKey)(device, value, SGD_SMS4_ECB, &session) != SAR_OK) {
    return "no session key";
  }
  vkey::Remove(key);
  const BLOCKCIPHERPARAM param{};
  return Code(SKF_OF(r.lib, SKF_EncryptInit)(session, param)) + " " +
         Code(SKF_OF(r.lib, SKF_DecryptInit)(session, param));
}

std::string MacFamily(ScenarioRun &r) {
  HANDLE mac = reinterpret_cast<HANDLE>(0x1234);
  BYTE data[16] = {}, out[16] = {};
  ULONG length = sizeof out;
  std::string codes = Code(SKF_OF(r.lib, SKF_MacInit)(nullptr, nullptr, &mac));
  codes += " " + Code(SKF_OF(r.lib, SKF_Mac)(nullptr, data, sizeof data, out, &length));
  codes += " " + Code(SKF_OF(r.lib, SKF_MacUpdate)(nullptr, data, sizeof data));
  codes += " " + Code(SKF_OF(r.lib, SKF_MacFinal)(nullptr, out, &length));
  const bool kept = mac == reinterpret_cast<HANDLE>(0x1234) && length == sizeof out;
  return codes + (kept ? " kept" : " changed");
}

}  // namespace legacytest
