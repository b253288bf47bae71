// Keys, connection, device information, format and device authentication.
#include <algorithm>
#include <cstring>

#include "examples/demo.h"

namespace {

constexpr std::size_t kChallengeSize = 8;
constexpr std::size_t kAuthDataSize = 16;
constexpr std::size_t kDeviceKeySize = 16;
constexpr std::size_t kStatusSize = 2;  // SKF_Transmit appends SW2, then SW1

// A fixed-size text field of DEVINFO, up to its NUL or its end.
template <std::size_t N>
std::string Field(const CHAR (&text)[N]) {
  return std::string(text, strnlen(text, N));
}

bool Fail(std::string *error, const std::string &text) {
  *error = text;
  return false;
}

// The device key text as the card holds it: its first 16 bytes, zero-padded.
void DeviceKey(const std::string &text, std::uint8_t key[kDeviceKeySize]) {
  std::memset(key, 0, kDeviceKeySize);
  std::memcpy(key, text.data(), std::min(text.size(), kDeviceKeySize));
}

bool ListKeys(Demo &demo) {
  const char step[] = "list keys";
  if (!Available(demo.report, demo.api, step, {"SKF_EnumDev"})) return false;
  ULONG size = 0;
  ULONG rc = demo.api.SKF_EnumDev(TRUE, nullptr, &size);
  std::vector<char> list(size);
  if (rc == SAR_OK) rc = demo.api.SKF_EnumDev(TRUE, list.data(), &size);
  if (rc != SAR_OK) return StepResult(demo.report, step, "SKF_EnumDev", rc, "");
  list.resize(std::min<std::size_t>(size, list.size()));
  const std::vector<std::string> names = SplitNames(list);
  if (names.empty()) {
    StepFailed(demo.report, step, "no key present");
    return false;
  }
  const std::string &wanted = demo.options.key;
  if (!wanted.empty() && std::find(names.begin(), names.end(), wanted) == names.end()) {
    StepFailed(demo.report, step, JoinNames(names) + "; \"" + wanted + "\" is not among them");
    return false;
  }
  demo.device_name = wanted.empty() ? names.front() : wanted;
  demo.first_listed = demo.device_name == names.front();
  StepOk(demo.report, step, JoinNames(names));
  return true;
}

bool Connect(Demo &demo, const char *step) {
  if (!Available(demo.report, demo.api, step, {"SKF_ConnectDev"})) return false;
  const ULONG rc = demo.api.SKF_ConnectDev(demo.device_name.c_str(), &demo.device);
  if (rc != SAR_OK) demo.device = nullptr;
  return StepResult(demo.report, step, "SKF_ConnectDev", rc, "\"" + demo.device_name + "\"");
}

void ShowDeviceInfo(Demo &demo) {
  const char step[] = "device information";
  if (!Available(demo.report, demo.api, step, {"SKF_GetDevInfo"})) return;
  DEVINFO info{};
  const ULONG rc = demo.api.SKF_GetDevInfo(demo.device, &info);
  StepResult(demo.report, step, "SKF_GetDevInfo", rc,
             "manufacturer \"" + Field(info.Manufacturer) + "\", label \"" + Field(info.Label) +
                 "\", serial " + Field(info.SerialNumber) + ", " + std::to_string(info.FreeSpace) +
                 " of " + std::to_string(info.TotalSpace) + " bytes free");
}

// A key without an application directory is blank and gets formatted; the steps after this one
// need a formatted key. The format works on the first listed key with a handle of its own, so
// the demo connects again afterwards.
void FormatIfNeeded(Demo &demo) {
  const char step[] = "format";
  if (!Available(demo.report, demo.api, step, {"SKF_EnumApplication"})) return;
  ULONG size = 0;
  if (demo.api.SKF_EnumApplication(demo.device, nullptr, &size) == SAR_OK) {
    demo.formatted = true;
    StepOk(demo.report, step, "not needed: the key holds an application directory");
    return;
  }
  if (!Available(demo.report, demo.api, step, {"SKF_FormatCard", "SKF_DisConnectDev"})) return;
  if (!demo.first_listed) {
    StepFailed(demo.report, step, "blank, but SKF_FormatCard formats only the first listed key");
    return;
  }
  std::string key_text = demo.options.device_key;
  const ULONG rc = demo.api.SKF_FormatCard(key_text.data());
  if (!StepResult(demo.report, step, "SKF_FormatCard", rc,
                  "blank key formatted, device key \"" + key_text + "\" installed")) {
    return;
  }
  demo.formatted = true;
  demo.api.SKF_DisConnectDev(demo.device);
  demo.device = nullptr;
  Connect(demo, "connect again after the format");
}

// The authentication data: the card's challenge and eight zero bytes, encrypted under the device
// key with the device's authentication algorithm (SSF33 ECB), through the library's random and
// symmetric exports.
bool AuthDataByExports(Demo &demo, std::uint8_t auth[kAuthDataSize], std::string *error) {
  const Exports &api = demo.api;
  std::uint8_t block[kAuthDataSize] = {};
  std::uint8_t key[kDeviceKeySize];
  DeviceKey(demo.options.device_key, key);
  // Eight random bytes are one GET CHALLENGE: the card keeps them for the authentication.
  ULONG rc = api.SKF_GenRandom(demo.device, block, kChallengeSize);
  if (rc != SAR_OK) return Fail(error, "SKF_GenRandom returned " + SarText(rc));
  HANDLE session = nullptr;
  rc = api.SKF_SetSymmKey(demo.device, key, SGD_SSF33_ECB, &session);
  if (rc != SAR_OK) return Fail(error, "SKF_SetSymmKey returned " + SarText(rc));
  BLOCKCIPHERPARAM param{};
  rc = api.SKF_EncryptInit(session, param);
  ULONG size = kAuthDataSize;
  if (rc == SAR_OK) rc = api.SKF_Encrypt(session, block, kAuthDataSize, auth, &size);
  if (api.SKF_CloseHandle) api.SKF_CloseHandle(session);
  if (rc != SAR_OK) return Fail(error, "SKF_EncryptInit/SKF_Encrypt returned " + SarText(rc));
  if (size != kAuthDataSize) {
    return Fail(error, "SKF_Encrypt gave " + std::to_string(size) + " bytes");
  }
  return true;
}

// One raw command through SKF_Transmit; `answer` receives the data before the status word.
bool Transmit(Demo &demo, const Bytes &command, std::size_t expected, Bytes *answer,
              std::string *error) {
  Bytes out(expected + kStatusSize);
  ULONG size = static_cast<ULONG>(out.size());
  const ULONG rc = demo.api.SKF_Transmit(demo.device, command.data(),
                                         static_cast<ULONG>(command.size()), out.data(), &size);
  if (rc != SAR_OK) return Fail(error, "SKF_Transmit returned " + SarText(rc));
  if (size != out.size() || out[expected] != 0x00 || out[expected + 1] != 0x90) {
    return Fail(error,
                "the card answered " + Hex(out.data(), std::min<std::size_t>(size, out.size())));
  }
  answer->assign(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(expected));
  return true;
}

// The same value from raw commands: GET CHALLENGE, then the card's cipher command in mode 0
// with the device key, as a host does when the library lacks the random and symmetric exports.
bool AuthDataByCommands(Demo &demo, std::uint8_t auth[kAuthDataSize], std::string *error) {
  Bytes challenge;
  if (!Transmit(demo, {0x00, 0x84, 0x00, 0x00, kChallengeSize}, kChallengeSize, &challenge,
                error)) {
    return false;
  }
  std::uint8_t key[kDeviceKeySize];
  DeviceKey(demo.options.device_key, key);
  // Header, key, the challenge padded with zeros to the data size, Le: laid out in place.
  constexpr std::size_t kHeaderSize = 5;
  const std::uint8_t header[kHeaderSize] = {0x80, 0xF3, 0x00, 0x00, kDeviceKeySize + kAuthDataSize};
  Bytes cipher(kHeaderSize + kDeviceKeySize + kAuthDataSize + 1, 0x00);
  std::memcpy(cipher.data(), header, kHeaderSize);
  std::memcpy(cipher.data() + kHeaderSize, key, kDeviceKeySize);
  std::memcpy(cipher.data() + kHeaderSize + kDeviceKeySize, challenge.data(), kChallengeSize);
  cipher.back() = kAuthDataSize;
  Bytes answer;
  if (!Transmit(demo, cipher, kAuthDataSize, &answer, error)) return false;
  std::memcpy(auth, answer.data(), kAuthDataSize);
  return true;
}

void AuthenticateDevice(Demo &demo) {
  const char step[] = "device authentication";
  if (!Available(demo.report, demo.api, step, {"SKF_DevAuth"})) return;
  const bool by_exports = demo.api.Has("SKF_GenRandom") && demo.api.Has("SKF_SetSymmKey") &&
                          demo.api.Has("SKF_EncryptInit") && demo.api.Has("SKF_Encrypt");
  if (!by_exports && !Available(demo.report, demo.api, step, {"SKF_Transmit"})) return;
  std::uint8_t auth[kAuthDataSize];
  std::string error;
  const bool made =
      by_exports ? AuthDataByExports(demo, auth, &error) : AuthDataByCommands(demo, auth, &error);
  if (!made) {
    StepFailed(demo.report, step, error);
    return;
  }
  const ULONG rc = demo.api.SKF_DevAuth(demo.device, auth, kAuthDataSize);
  StepResult(demo.report, step, "SKF_DevAuth", rc,
             by_exports ? "challenge from SKF_GenRandom, encrypted by SKF_Encrypt (SSF33 ECB) "
                          "under the device key"
                        : "challenge and cipher through SKF_Transmit (SKF_GenRandom, "
                          "SKF_SetSymmKey, SKF_EncryptInit, SKF_Encrypt not available in this "
                          "build)");
}

}  // namespace

void RunDeviceSteps(Demo &demo) {
  if (!ListKeys(demo)) return;
  if (!Connect(demo, "connect")) return;
  FormatIfNeeded(demo);
  if (!demo.device || !Needs(demo.report, "device information and authentication", demo.formatted,
                             "a formatted key")) {
    return;
  }
  ShowDeviceInfo(demo);
  AuthenticateDevice(demo);
}
