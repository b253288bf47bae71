#include "examples/report.h"

#include <cstdio>

#include "examples/exports.h"

namespace {

struct SarName {
  ULONG code;
  const char *name;
};

constexpr SarName kSarNames[] = {
    {SAR_OK, "SAR_OK"},
    {SAR_FAIL, "SAR_FAIL"},
    {SAR_NOTSUPPORTYETERR, "SAR_NOTSUPPORTYETERR"},
    {SAR_FILEERR, "SAR_FILEERR"},
    {SAR_INVALIDHANDLEERR, "SAR_INVALIDHANDLEERR"},
    {SAR_INVALIDPARAMERR, "SAR_INVALIDPARAMERR"},
    {SAR_NAMELENERR, "SAR_NAMELENERR"},
    {SAR_MODULUSLENERR, "SAR_MODULUSLENERR"},
    {SAR_INDATALENERR, "SAR_INDATALENERR"},
    {SAR_RSAMODULUSLENERR, "SAR_RSAMODULUSLENERR"},
    {SAR_BUFFER_TOO_SMALL, "SAR_BUFFER_TOO_SMALL"},
    {SAR_PIN_INCORRECT, "SAR_PIN_INCORRECT"},
    {SAR_PIN_LOCKED, "SAR_PIN_LOCKED"},
    {SAR_PIN_INVALID, "SAR_PIN_INVALID"},
    {SAR_PIN_LEN_RANGE, "SAR_PIN_LEN_RANGE"},
    {SAR_USER_TYPE_INVALID, "SAR_USER_TYPE_INVALID"},
    {SAR_APPLICATION_NAME_INVALID, "SAR_APPLICATION_NAME_INVALID"},
    {SAR_APPLICATION_EXISTS, "SAR_APPLICATION_EXISTS"},
    {SAR_USER_NOT_LOGGED_IN, "SAR_USER_NOT_LOGGED_IN"},
    {SAR_APPLICATION_NOT_EXISTS, "SAR_APPLICATION_NOT_EXISTS"},
    {SAR_FILE_ALREADY_EXIST, "SAR_FILE_ALREADY_EXIST"},
    {SAR_NO_ROOM, "SAR_NO_ROOM"},
    {SAR_FILE_NOT_EXIST, "SAR_FILE_NOT_EXIST"},
};

void Line(const char *tag, const std::string &step, const std::string &text) {
  std::printf("%-4s  %s%s%s\n", tag, step.c_str(), text.empty() ? "" : ": ", text.c_str());
  std::fflush(stdout);
}

}  // namespace

void StepOk(Report &report, const std::string &step, const std::string &detail) {
  ++report.ok;
  Line("ok", step, detail);
}

void StepFailed(Report &report, const std::string &step, const std::string &detail) {
  ++report.failed;
  Line("FAIL", step, detail);
}

void StepSkipped(Report &report, const std::string &step, const std::string &why) {
  ++report.skipped;
  Line("skip", step, why);
}

std::string SarText(ULONG code) {
  for (const SarName &entry : kSarNames) {
    if (entry.code == code) return entry.name;
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

bool StepResult(Report &report, const std::string &step, const char *call, ULONG code,
                const std::string &detail) {
  if (code == SAR_OK) {
    StepOk(report, step, detail);
    return true;
  }
  StepFailed(report, step, std::string(call) + " returned " + SarText(code));
  return false;
}

bool Available(Report &report, const Exports &exports, const std::string &step,
               std::initializer_list<const char *> names) {
  std::string absent;
  for (const char *name : names) {
    if (exports.Has(name)) continue;
    absent += absent.empty() ? "" : ", ";
    absent += name;
  }
  if (absent.empty()) return true;
  StepSkipped(report, step, absent + " not available in this build");
  return false;
}

bool Needs(Report &report, const std::string &step, bool have, const char *what) {
  if (!have) StepSkipped(report, step, std::string("needs ") + what);
  return have;
}
