// One line per step: what was done and how it ended. Counts the outcomes for the exit code.
#pragma once

#include <initializer_list>
#include <string>

#include "examples/sar_text.h"
#include "skf.h"

struct Exports;

struct Report {
  int ok = 0;
  int failed = 0;
  int skipped = 0;
};

void StepOk(Report &report, const std::string &step, const std::string &detail);
void StepFailed(Report &report, const std::string &step, const std::string &detail);
void StepSkipped(Report &report, const std::string &step, const std::string &why);

// StepOk when `code` is SAR_OK, else StepFailed naming the export and the code. Returns whether
// the call succeeded.
bool StepResult(Report &report, const std::string &step, const char *call, ULONG code,
                const std::string &detail);

// Skips the step, naming every export of `names` that the library lacks, and returns false;
// true when all are there.
bool Available(Report &report, const Exports &exports, const std::string &step,
               std::initializer_list<const char *> names);

// Skips the step because an earlier one it builds on did not succeed; returns `have`.
bool Needs(Report &report, const std::string &step, bool have, const char *what);
