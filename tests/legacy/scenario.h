// One run of a scenario through one library: the keys and devices it makes, taken out again when
// it ends, and the observation it reports as text. Scenarios are run against both libraries and
// compared with the result each library is expected to give (scenario_test.cpp).
#pragma once

#include <string>
#include <vector>

#include "both_fixture.h"
#include "examples/sar_text.h"

namespace legacytest {

class ScenarioRun {
 public:
  explicit ScenarioRun(const host::Library &lib) : lib(lib) {}
  ~ScenarioRun();
  ScenarioRun(const ScenarioRun &) = delete;
  ScenarioRun &operator=(const ScenarioRun &) = delete;

  // A new key; a provisioned one with the device directory as tokenbase formats it, unless
  // `as_core` keeps the one tokencore formats.
  std::string Key(bool provisioned, bool as_core = false);
  DEVHANDLE Connect(const std::string &key);
  HAPPLICATION App(DEVHANDLE device);
  HCONTAINER Container(HAPPLICATION app, const char *name);
  ULONG Login(HAPPLICATION app);  // the user PIN
  // A provisioned key, connected, its application open and the user PIN verified.
  HAPPLICATION LoggedIn(std::string *key = nullptr, DEVHANDLE *device = nullptr);

  const host::Library &lib;

 private:
  std::vector<std::string> keys_;
  std::vector<DEVHANDLE> devices_;
};

// The name of a SAR code, e.g. "SAR_OK".
inline std::string Code(ULONG code) { return SarText(code); }

// Scenarios of the device, PIN, symmetric and MAC families (scenario_device.cpp).
std::string FormatDirectory(ScenarioRun &r);
std::string EnumAbsentLength(ScenarioRun &r);
std::string EnumAbsentList(ScenarioRun &r);
std::string EnumPresentShortBuffer(ScenarioRun &r);
std::string WaitForArrival(ScenarioRun &r);
std::string ConnectBuiltinAccepted(ScenarioRun &r);
std::string ConnectBuiltinRefused(ScenarioRun &r);
std::string ConnectNullName(ScenarioRun &r);
std::string ConnectEmptiesPinSlots(ScenarioRun &r);
std::string DevInfoFields(ScenarioRun &r);
std::string TransmitChallenge(ScenarioRun &r);
std::string UserPinResults(ScenarioRun &r);
std::string AdminPinMacs(ScenarioRun &r);
std::string ClearSecureStateKeepsPin(ScenarioRun &r);
std::string SharedPinSlot(ScenarioRun &r);
std::string InitWithoutCard(ScenarioRun &r);
std::string MacFamily(ScenarioRun &r);

// Scenarios of the file family and of the key operations (scenario_objects.cpp).
std::string CoreDeviceDirectory(ScenarioRun &r);
std::string LongContainerDirectory(ScenarioRun &r);
std::string CreateFileTwice(ScenarioRun &r);
std::string NewFileSize(ScenarioRun &r);
std::string FreedRecordReused(ScenarioRun &r);
std::string ReadBoundedByDataEnd(ScenarioRun &r);
std::string WritePastFileLen(ScenarioRun &r);
std::string TwentyFirstFile(ScenarioRun &r);
std::string CreateHugeFile(ScenarioRun &r);
std::string CreateLargeFile(ScenarioRun &r);
std::string CreateFileWithoutPin(ScenarioRun &r);
std::string EccAlgorithmIds(ScenarioRun &r);
std::string Sm2DecryptOrder(ScenarioRun &r);
std::string RsaPublicFirst(ScenarioRun &r);
std::string AgreementPair(ScenarioRun &r);

}  // namespace legacytest
