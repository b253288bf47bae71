// The observable differences between tokencore and tokenbase: one table of scenarios, each run
// through both libraries loaded side by side like a host, with the result each gives.
#include <gtest/gtest.h>

#include "scenario.h"

namespace legacytest {
namespace {

struct Scenario {
  const char *name;
  std::string (*observe)(ScenarioRun &);
  const char *core;
  const char *base;
};

void PrintTo(const Scenario &s, std::ostream *os) { *os << s.name; }

// clang-format off
const Scenario kScenarios[] = {
  {"SKF_FormatCard: the card reset first, the device directory written", FormatDirectory,
   "SAR_OK 1156 VARN, reset", "SAR_OK 340 VARN, working memory kept"},
  {"SKF_EnumDev without present devices: length query", EnumAbsentLength,
   "SAR_OK 3", "SAR_OK 15"},
  {"SKF_EnumDev without present devices: the list", EnumAbsentList,
   "SAR_OK 2 []", "SAR_OK 14 [VARN Brevlok]"},
  {"SKF_EnumDev of present devices into a buffer one byte short", EnumPresentShortBuffer,
   "SAR_BUFFER_TOO_SMALL untouched", "SAR_BUFFER_TOO_SMALL untouched"},
  {"SKF_WaitForDevEvent while a key arrives", WaitForArrival,
   "SAR_OK event 1 its name", "SAR_OK event 1 its name"},
  {"SKF_ConnectDev to a key that accepts the built-in card key", ConnectBuiltinAccepted,
   "SAR_OK handle, then SAR_OK", "SAR_FAIL no handle, then SAR_OK"},
  {"SKF_ConnectDev to a key that refuses it", ConnectBuiltinRefused,
   "SAR_OK handle", "SAR_OK handle"},
  {"SKF_ConnectDev with a NULL name", ConnectNullName,
   "SAR_INVALIDPARAMERR", "SAR_INVALIDPARAMERR"},
  {"a second SKF_ConnectDev, then a signature with the PIN verified before", ConnectEmptiesPinSlots,
   "SAR_OK", "SAR_USER_NOT_LOGGED_IN"},
  {"SKF_GetDevInfo fields from the card information", DevInfoFields,
   "SAR_OK sym 703 asym 30E00 hash 1 auth 201 total 131072 free card-256 ecc 160 buffer 4000 "
   "20261210 VARN VARN",
   "SAR_OK sym 701 asym 30700 hash 1 auth 201 total 131072 free card+0 ecc kept buffer kept "
   "20261210 VARN VARN"},
  {"SKF_Transmit of GET CHALLENGE", TransmitChallenge,
   "SAR_OK length 10, 1 sent", "SAR_OK length kept, 0 sent"},
  {"SKF_VerifyPIN of the user: wrong, then right", UserPinResults,
   "SAR_PIN_INCORRECT 9, SAR_OK", "SAR_PIN_INCORRECT 9, SAR_OK"},
  {"administrator PIN verify, change, change back, unblock, new user PIN (command MACs)",
   AdminPinMacs,
   "SAR_OK SAR_OK SAR_OK SAR_OK SAR_OK", "SAR_OK SAR_OK SAR_OK SAR_OK SAR_OK"},
  {"SKF_ClearSecureState, then a signature", ClearSecureStateKeepsPin,
   "SAR_OK SAR_USER_NOT_LOGGED_IN", "SAR_OK SAR_OK"},
  {"ZOLTACSP after a verification; a signature once it is emptied", SharedPinSlot,
   "'12345678' SAR_USER_NOT_LOGGED_IN", "'' SAR_OK"},
  {"SKF_EncryptInit and SKF_DecryptInit once the key has left", InitWithoutCard,
   "SAR_FAIL SAR_OK", "SAR_OK SAR_OK"},
  {"the MAC family (and the MAC handle given)", MacFamily,
   "SAR_NOTSUPPORTYETERR SAR_NOTSUPPORTYETERR SAR_NOTSUPPORTYETERR SAR_NOTSUPPORTYETERR kept",
   "SAR_OK SAR_OK SAR_OK SAR_OK kept"},
  {"SKF_EnumApplication on a device directory of 1156 bytes, as tokencore formats it",
   CoreDeviceDirectory,
   "SAR_OK KEYSIM-APP", "SAR_OK KEYSIM-APP"},
  {"SKF_EnumContainer on a container directory of 1212 bytes (eight entries)",
   LongContainerDirectory,
   "SAR_OK [SM2-CONTAINER,RSA-CONTAINER]", "SAR_OK [SM2-CONTAINER,RSA-CONTAINER]"},
  {"SKF_CreateFile twice with one name", CreateFileTwice,
   "SAR_OK SAR_FILE_ALREADY_EXIST [f]", "SAR_OK SAR_OK [f]"},
  {"FileSize of a new file of 100 bytes", NewFileSize,
   "100", "164"},
  {"a: 100 bytes, deleted; b: 96 bytes", FreedRecordReused,
   "SAR_OK, 1 DELETE FILE, b 96 [b]", "SAR_OK, 0 DELETE FILE, b 164 [b]"},
  {"SKF_ReadFile length after 10 bytes written at 0", ReadBoundedByDataEnd,
   "SAR_OK 100 read back", "SAR_OK 10 read back"},
  {"SKF_WriteFile at offset 200 of a 100-byte file", WritePastFileLen,
   "SAR_FILEERR", "SAR_OK"},
  {"SKF_CreateFile of a 21st file", TwentyFirstFile,
   "SAR_NO_ROOM", "SAR_FAIL"},
  {"SKF_CreateFile of 0xFFFFFFF0 bytes", CreateHugeFile,
   "SAR_FAIL", "SAR_FAIL"},
  {"SKF_CreateFile of 40000 bytes", CreateLargeFile,
   "SAR_FAIL", "SAR_OK"},
  {"SKF_CreateFile where creating asks for the user PIN, none verified", CreateFileWithoutPin,
   "SAR_USER_NOT_LOGGED_IN", "SAR_OK"},
  {"SKF_GenECCKeyPair with 0x20100, 0x20200, 0x20400, 0x20800", EccAlgorithmIds,
   "SAR_OK SAR_OK SAR_FAIL SAR_OK", "SAR_OK SAR_FAIL SAR_OK SAR_FAIL"},
  {"SKF_PrvKeyDecrypt of C1 C2 C3: card order C1 C3 C2, then C1 C2 C3", Sm2DecryptOrder,
   "SAR_OK SAR_OK", "SAR_FAIL SAR_OK"},
  {"RSA signature and raw decryption with a container key", RsaPublicFirst,
   "SAR_OK valid after 0 public; SAR_OK recovered after 0 public",
   "SAR_OK valid after 1 public; SAR_OK recovered after 1 public"},
  {"key agreement: the responder's static pair", AgreementPair,
   "SAR_OK encryption pair", "SAR_OK signing pair"},
};
// clang-format on

class ScenarioTest : public ::testing::TestWithParam<Scenario> {
 protected:
  void SetUp() override { ASSERT_TRUE(vkey::Attach()) << "no keysimd"; }
};

TEST_P(ScenarioTest, EachLibraryGivesItsResult) {
  const Scenario &s = GetParam();
  for (const host::Build build : {host::Build::kCore, host::Build::kBase}) {
    ScenarioRun run(host::Of(build));
    EXPECT_EQ(s.observe(run), build == host::Build::kCore ? s.core : s.base)
        << s.name << " (" << host::NameOf(build) << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, ScenarioTest, ::testing::ValuesIn(kScenarios),
                         [](const auto &info) { return std::to_string(info.index); });

}  // namespace
}  // namespace legacytest
