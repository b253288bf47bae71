// Application, PINs, container, certificate, file and the lists of what the key holds.
#include <algorithm>
#include <cstring>

#include "examples/demo.h"

namespace {

constexpr DWORD kPinRetries = 10;
constexpr std::size_t kPinBuffer = 33;  // SKF_VerifyPIN may write the PIN it verified back
constexpr ULONG kFileSize = 256;
constexpr char kFileText[] = "Written through tokencore by skfdemo.";

void CreateApplication(Demo &demo) {
  const char step[] = "create application";
  if (!Available(demo.report, demo.api, step, {"SKF_CreateApplication"})) return;
  std::string name = kAppName, admin = demo.options.admin_pin, user = demo.options.user_pin;
  HAPPLICATION app = nullptr;
  const ULONG rc =
      demo.api.SKF_CreateApplication(demo.device, name.data(), admin.data(), kPinRetries,
                                     user.data(), kPinRetries, SECURE_ANYONE_ACCOUNT, &app);
  if (StepResult(demo.report, step, "SKF_CreateApplication", rc,
                 "\"" + name + "\", administrator and user PIN with " +
                     std::to_string(kPinRetries) +
                     " tries each, creation of files and containers open to anyone")) {
    demo.application = app;
  }
}

void ShowPinInfo(Demo &demo, const char *step) {
  if (!Available(demo.report, demo.api, step, {"SKF_GetPINInfo"})) return;
  ULONG max = 0, left = 0;
  BOOL is_default = FALSE;
  const ULONG rc = demo.api.SKF_GetPINInfo(demo.application, USER_TYPE, &max, &left, &is_default);
  StepResult(demo.report, step, "SKF_GetPINInfo", rc,
             std::to_string(left) + " of " + std::to_string(max) + " tries left" +
                 (is_default ? ", never changed" : ""));
}

// *retries receives the count the library reports for a refused PIN.
ULONG VerifyUserPin(Demo &demo, const std::string &pin, ULONG *retries) {
  char text[kPinBuffer] = {};
  std::memcpy(text, pin.data(), std::min(pin.size(), kPinBuffer - 1));
  const ULONG rc = demo.api.SKF_VerifyPIN(demo.application, USER_TYPE, text, retries);
  explicit_bzero(text, sizeof text);
  return rc;
}

void VerifyPins(Demo &demo) {
  ShowPinInfo(demo, "user PIN information");
  const char wrong_step[] = "verify a wrong user PIN";
  if (Available(demo.report, demo.api, wrong_step, {"SKF_VerifyPIN"})) {
    ULONG retries = 0;
    const ULONG rc = VerifyUserPin(demo, kWrongPin, &retries);
    if (rc == SAR_PIN_INCORRECT) {
      StepOk(demo.report, wrong_step,
             "refused with SAR_PIN_INCORRECT, " + std::to_string(retries) + " tries left");
    } else {
      StepFailed(demo.report, wrong_step, "SKF_VerifyPIN returned " + SarText(rc));
    }
  }
  const char step[] = "verify the user PIN";
  if (!Available(demo.report, demo.api, step, {"SKF_VerifyPIN"})) return;
  ULONG retries = 0;
  const ULONG rc = VerifyUserPin(demo, demo.options.user_pin, &retries);
  demo.pin_verified = StepResult(demo.report, step, "SKF_VerifyPIN", rc, "accepted");
  if (demo.pin_verified) ShowPinInfo(demo, "user PIN information after the right PIN");
}

void CreateSm2Container(Demo &demo) {
  const char step[] = "create container";
  if (!Available(demo.report, demo.api, step, {"SKF_CreateContainer"})) return;
  std::string name = kSm2Container;
  HCONTAINER container = nullptr;
  const ULONG rc = demo.api.SKF_CreateContainer(demo.application, name.data(), &container);
  if (StepResult(demo.report, step, "SKF_CreateContainer", rc, "\"" + name + "\"")) {
    demo.sm2_container = container;
  }
}

void ImportCertificate(Demo &demo) {
  const char step[] = "import certificate";
  if (!Needs(demo.report, step, demo.sm2_container, "the container")) return;
  if (!Available(demo.report, demo.api, step, {"SKF_ImportCertificate"})) return;
  Bytes copy = demo.certificate;
  const ULONG rc = demo.api.SKF_ImportCertificate(demo.sm2_container, TRUE, copy.data(),
                                                  static_cast<ULONG>(copy.size()));
  StepResult(demo.report, step, "SKF_ImportCertificate", rc,
             std::to_string(copy.size()) +
                 " bytes made by OpenSSL, as the signing certificate "
                 "of \"" +
                 std::string(kSm2Container) + "\"");
}

void ExportCertificate(Demo &demo) {
  const char step[] = "export certificate";
  if (!Needs(demo.report, step, demo.sm2_container, "the container")) return;
  if (!Available(demo.report, demo.api, step, {"SKF_ExportCertificate"})) return;
  ULONG size = 0;
  ULONG rc = demo.api.SKF_ExportCertificate(demo.sm2_container, TRUE, nullptr, &size);
  Bytes out(size);
  if (rc == SAR_OK)
    rc = demo.api.SKF_ExportCertificate(demo.sm2_container, TRUE, out.data(), &size);
  if (rc != SAR_OK) {
    StepResult(demo.report, step, "SKF_ExportCertificate", rc, "");
    return;
  }
  out.resize(std::min<std::size_t>(size, out.size()));
  if (out == demo.certificate) {
    StepOk(demo.report, step, std::to_string(out.size()) + " bytes, equal to the original");
  } else {
    StepFailed(demo.report, step,
               std::to_string(out.size()) + " bytes that differ from the " +
                   std::to_string(demo.certificate.size()) + " bytes imported");
  }
}

void WriteAndReadFile(Demo &demo) {
  const char create_step[] = "create file";
  if (!Available(demo.report, demo.api, create_step, {"SKF_CreateFile"})) return;
  std::string name = kFileName;
  ULONG rc = demo.api.SKF_CreateFile(demo.application, name.data(), kFileSize,
                                     SECURE_ANYONE_ACCOUNT, SECURE_ANYONE_ACCOUNT);
  if (!StepResult(demo.report, create_step, "SKF_CreateFile", rc,
                  "\"" + name + "\", " + std::to_string(kFileSize) + " bytes")) {
    return;
  }
  const char write_step[] = "write file";
  if (!Available(demo.report, demo.api, write_step, {"SKF_WriteFile"})) return;
  Bytes text(kFileText, kFileText + sizeof kFileText - 1);
  rc = demo.api.SKF_WriteFile(demo.application, name.data(), 0, text.data(),
                              static_cast<ULONG>(text.size()));
  if (!StepResult(demo.report, write_step, "SKF_WriteFile", rc,
                  std::to_string(text.size()) + " bytes at offset 0")) {
    return;
  }
  const char read_step[] = "read file";
  if (!Available(demo.report, demo.api, read_step, {"SKF_ReadFile"})) return;
  Bytes back(text.size());
  ULONG size = static_cast<ULONG>(back.size());
  rc = demo.api.SKF_ReadFile(demo.application, name.data(), 0, size, back.data(), &size);
  if (rc != SAR_OK) {
    StepResult(demo.report, read_step, "SKF_ReadFile", rc, "");
  } else if (size == text.size() && back == text) {
    StepOk(demo.report, read_step, "\"" + std::string(kFileText) + "\", as written");
  } else {
    StepFailed(demo.report, read_step,
               std::to_string(size) + " bytes that differ from those written");
  }
}

// One of the list exports: the length first, then the names.
template <typename Fn, typename Handle>
void ShowList(Demo &demo, const char *step, const char *export_name, Fn fn, Handle handle) {
  if (!Available(demo.report, demo.api, step, {export_name})) return;
  ULONG size = 0;
  ULONG rc = fn(handle, nullptr, &size);
  std::vector<char> list(size);
  if (rc == SAR_OK) rc = fn(handle, list.data(), &size);
  if (rc != SAR_OK) {
    StepResult(demo.report, step, export_name, rc, "");
    return;
  }
  list.resize(std::min<std::size_t>(size, list.size()));
  StepOk(demo.report, step, JoinNames(SplitNames(list)));
}

}  // namespace

void RunObjectSteps(Demo &demo) {
  if (!Needs(demo.report, "application steps", demo.device && demo.formatted,
             "a connected, formatted key")) {
    return;
  }
  CreateApplication(demo);
  if (!Needs(demo.report, "PIN, container and file steps", demo.application, "the application")) {
    ShowList(demo, "list applications", "SKF_EnumApplication", demo.api.SKF_EnumApplication,
             demo.device);
    return;
  }
  VerifyPins(demo);
  CreateSm2Container(demo);
  ImportCertificate(demo);
  WriteAndReadFile(demo);
  ShowList(demo, "list applications", "SKF_EnumApplication", demo.api.SKF_EnumApplication,
           demo.device);
  ShowList(demo, "list containers", "SKF_EnumContainer", demo.api.SKF_EnumContainer,
           demo.application);
  ShowList(demo, "list files", "SKF_EnumFiles", demo.api.SKF_EnumFiles, demo.application);
  ExportCertificate(demo);
}
