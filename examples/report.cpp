#include "examples/report.h"

#include <cstdio>

#include "examples/exports.h"

namespace {

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
