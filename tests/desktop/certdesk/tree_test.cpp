// The certificate tree on virtual keys: what it lists for each key layout, the buttons as the
// selection moves, the viewer, and the rebuild when keys come and go.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "certdesk_app.h"
#include "key_layouts.h"
#include "tests/desktop/support/screenshot.h"

namespace certdesk_test {
namespace {

using TreeTexts = std::vector<std::vector<std::string>>;

class Tree : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(vkey::Attach()) << "no keysimd"; }

  // certdesk started on the keys as they are, its tree `expected`.
  void StartExpecting(Certdesk &app, const TreeTexts &expected) {
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.WaitForTree(expected)) << Describe(Texts(app.Tree()));
  }
};

// The buttons that a key and a certificate selection enable: 1003 alone, or the other four.
void ExpectButtonsFor(const Certdesk &app, bool certificate) {
  for (int id : {kView, kChange, kVerify, kRegister}) {
    EXPECT_EQ(ControlEnabled(app.main(), id), certificate) << id;
  }
  EXPECT_EQ(ControlEnabled(app.main(), kInitialise), !certificate);
}

TEST_F(Tree, OneKeyListsItsFourCertificatesAndTheButtonsFollowTheSelection) {
  ASSERT_FALSE(ProvisionedKey("KEY-ONE").empty());
  Certdesk app;
  StartExpecting(app, {{"KEY-ONE", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}});
  const auto tree = app.Tree();
  EXPECT_EQ(tree[0].image, 0);
  EXPECT_TRUE(tree[0].expanded);
  for (const auto &child : tree[0].children) {
    EXPECT_EQ(child.image, 1);
    EXPECT_EQ(child.selected_image, 1);
  }
  EXPECT_EQ(desktop::SelectedItem(app.tree()), tree[0].item);
  ExpectButtonsFor(app, false);
  ASSERT_TRUE(app.Select("KEY-ONE", kRsaSign));
  ExpectButtonsFor(app, true);
  EXPECT_TRUE(SaveWindowScreenshot(app.main(), "certdesk_main.png"));
  ASSERT_TRUE(app.Select("KEY-ONE"));
  ExpectButtonsFor(app, false);
}

TEST_F(Tree, KeysInDeviceOrderAtMostFour) {
  for (int n : {2, 5}) {
    ASSERT_TRUE(vkey::Attach());
    std::vector<std::string> keys;
    for (int i = 0; i < n; ++i) keys.push_back(ProvisionedKey("KEY-" + std::to_string(i)));
    TreeTexts expected;
    for (const std::string &key : KeysInDeviceOrder(keys)) {
      if (expected.size() == 4) break;
      const std::string label =
          "KEY-" + std::to_string(std::find(keys.begin(), keys.end(), key) - keys.begin());
      expected.push_back({label, kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign});
    }
    ASSERT_EQ(expected.size(), std::min(n, 4)) << n;
    Certdesk app;
    StartExpecting(app, expected);
  }
}

TEST_F(Tree, AKeyWhoseDirectoryCannotBeReadIsLeftOutAndTheNextKeysAreRead) {
  const auto keys = KeysInDeviceOrder(
      {ProvisionedKey("KEY-A"), ProvisionedKey("KEY-B"), ProvisionedKey("KEY-C")});
  ASSERT_EQ(keys.size(), 3u);
  ASSERT_TRUE(WriteFile(keys[0], {0xEF01}, {}, true));  // device index 0
  TreeTexts expected;
  for (std::size_t i = 1; i < keys.size(); ++i) {
    const auto label = vkey::TextAt(*ReadFile(keys[i], {0xEF01}), 0, 68);
    expected.push_back({label, kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign});
  }
  Certdesk app;
  StartExpecting(app, expected);
}

TEST_F(Tree, ApplicationInTheSecondEntryOnlyIsReadAsApplicationTwo) {
  const std::string key = ProvisionedKey("AD02");
  ASSERT_TRUE(MoveApplicationToAd02(key, "87654321", 5));
  Certdesk app;
  StartExpecting(app, {{"AD02", kSm2Enc, kSm2Sign}});
  // Its certificates are pairs 4..7: the PIN dialog works on DF AD02 and its PIN.
  ASSERT_TRUE(app.Select("AD02", kSm2Sign));
  desktop::PostCommand(app.main(), kVerify);
  HWND dialog = app.WaitDialog(kVerifyCaption);
  ASSERT_NE(dialog, nullptr);
  desktop::Type(dialog, kVerifyEdit, kProvisionedPin);
  ASSERT_TRUE(desktop::WaitUntil([&] { return ControlEnabled(dialog, IDOK); }));
  desktop::PostCommand(dialog, IDOK);
  HWND box = app.WaitMessage();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(desktop::ReadMessageBox(box).text,
            "对不起，您输入的USBKey密码不正确，还有 4 次重试机会，请重新输入！");
  desktop::AnswerMessageBox(box, IDOK);
  EXPECT_EQ(RecordedTriesLeft(key, 0xAD01), 10);
  EXPECT_EQ(RawVerify(key, 0xAD02, "87654321"), 0);
}

TEST_F(Tree, CertificateFlagsAndUnreadableFilesDecideWhatAContainerLists) {
  // A name of 200 characters is shown as its first 179.
  const std::string long_name(200, 'n');
  const auto largest = CertificateOfSize(3000, long_name);
  const auto too_large = CertificateOfSize(3001, long_name);
  ASSERT_TRUE(largest.has_value() && too_large.has_value());
  struct Case {
    const char *what;
    std::uint16_t file;  // of DF12 (RSA)
    vkey::Bytes data;
    bool empty;
    std::vector<std::string> listed;
  };
  const vkey::Bytes garbage(300, 0x5A);
  const Case kCases[] = {
      {"encryption certificate empty", 0xEF01, {}, true, {kSm2Enc, kSm2Sign}},
      {"encryption certificate not a certificate", 0xEF01, garbage, false, {kSm2Enc, kSm2Sign}},
      {"encryption certificate over 3000 bytes", 0xEF01, *too_large, false, {kSm2Enc, kSm2Sign}},
      {"signing certificate over 3000 bytes",
       0xEF02,
       *too_large,
       false,
       {kSm2Enc, kSm2Sign, kRsaEnc}},
      {"signing certificate of 3000 bytes",
       0xEF02,
       *largest,
       false,
       {kSm2Enc, kSm2Sign, kRsaEnc, long_name.substr(0, 179)}},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.what);
    const std::string key = ProvisionedKey("FILES");
    ASSERT_TRUE(WriteFile(key, {0xAD01, 0xDF12, c.file}, c.data, c.empty));
    TreeTexts expected = {{"FILES"}};
    expected[0].insert(expected[0].end(), c.listed.begin(), c.listed.end());
    Certdesk app;
    StartExpecting(app, expected);
    EXPECT_EQ(app.Close(), 0);
    ASSERT_TRUE(vkey::Remove(key));
  }
  const std::string key = ProvisionedKey("FLAGS");
  ASSERT_TRUE(SetCertificateFlags(key, 1, false, true));
  Certdesk app;
  StartExpecting(app, {{"FLAGS", kSm2Enc, kSm2Sign, kRsaSign}});
}

TEST_F(Tree, LabelsAreCutToTheDeviceNameNeverInsideACharacter) {
  std::string gbk_label;
  for (int i = 0; i < 34; ++i) gbk_label += "\xD6\xA4";  // 证 in code page 936: 68 bytes
  std::string shown;
  for (int i = 0; i < 31; ++i) shown += "证";
  const struct {
    std::string label, shown;
  } kCases[] = {{std::string(68, 'L'), std::string(63, 'L')}, {gbk_label, shown}};
  for (const auto &c : kCases) {
    ASSERT_TRUE(vkey::Attach());
    ASSERT_FALSE(ProvisionedKey(c.label).empty());
    Certdesk app;
    StartExpecting(app, {{c.shown, kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}});
  }
}

TEST_F(Tree, TwoCertificatesOfOneSubjectEachShowTheirOwn) {
  const std::string key = ProvisionedKey("TWINS");
  ASSERT_TRUE(
      WriteFile(key, {0xAD01, 0xDF12, 0xEF02}, MakeCertificate(kSm2Sign, "certdesk test CA")));
  Certdesk app;
  StartExpecting(app, {{"TWINS", kSm2Enc, kSm2Sign, kRsaEnc, kSm2Sign}});
  const auto tree = app.Tree();
  const struct {
    HTREEITEM item;
    const char *issuer;
  } kTwins[] = {{tree[0].children[1].item, "keysim SM2 test CA"},
                {tree[0].children[3].item, "certdesk test CA"}};
  for (const auto &twin : kTwins) {
    desktop::SelectItem(app.tree(), twin.item);
    EXPECT_FALSE(desktop::SendCommand(app.main(), kView, 500));  // the viewer holds it
    HWND viewer = app.WaitViewer();
    ASSERT_NE(viewer, nullptr);
    const std::string names = ViewerNames(viewer);
    EXPECT_NE(names.find(kSm2Sign), std::string::npos) << names;
    EXPECT_NE(names.find(twin.issuer), std::string::npos) << names;
    EXPECT_TRUE(SaveWindowScreenshot(viewer, "certdesk_viewer.png"));
    desktop::PostCommand(viewer, IDOK);
    ASSERT_TRUE(desktop::WaitUntil([&] { return !IsWindow(viewer); }));
  }
  // A double-click on a certificate shows it; on a key nothing happens.
  EXPECT_FALSE(desktop::DoubleClickItem(app.tree(), kTwins[1].item, 500));
  HWND viewer = app.WaitViewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_NE(ViewerNames(viewer).find("certdesk test CA"), std::string::npos);
  desktop::PostCommand(viewer, IDOK);
  ASSERT_TRUE(desktop::WaitUntil([&] { return !IsWindow(viewer); }));
  desktop::SelectItem(app.tree(), tree[0].item);
  EXPECT_TRUE(desktop::DoubleClickItem(app.tree(), tree[0].item));
  EXPECT_EQ(app.WaitViewer(0), nullptr);
}

TEST_F(Tree, WithoutCryptuiViewingDoesNothing) {
  ASSERT_FALSE(ProvisionedKey("PLAIN").empty());
  // Wine loads no cryptui for a program of this name.
  constexpr char kExe[] = "certdesk_nocryptui.exe";
  const std::string overrides =
      std::string("Software\\Wine\\AppDefaults\\") + kExe + "\\DllOverrides";
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, overrides.c_str(), "cryptui", REG_SZ, "", 1),
            ERROR_SUCCESS);
  LoneFolder folder({"cardcmd.dll", "devnotify.dll", "readerio.dll"}, kExe);
  Certdesk app;
  ASSERT_TRUE(app.Start(folder.exe()));
  ASSERT_TRUE(app.WaitForTree({{"PLAIN", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}}));
  ASSERT_TRUE(app.Select("PLAIN", kSm2Enc));
  EXPECT_TRUE(desktop::SendCommand(app.main(), kView));
  EXPECT_EQ(app.WaitViewer(0), nullptr);
  EXPECT_EQ(app.Close(), 0);
  RegDeleteTreeA(HKEY_CURRENT_USER, (std::string("Software\\Wine\\AppDefaults\\") + kExe).c_str());
}

// WM_DEVICECHANGE with a device-interface record of the name, as the system sends it.
bool SendDeviceChange(HWND window, WPARAM event, const std::string &name) {
  std::vector<char> record(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + name.size() + 1);
  auto *header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A *>(record.data());
  header->dbcc_size = static_cast<DWORD>(record.size());
  header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(header->dbcc_name, name.c_str(), name.size() + 1);
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_DEVICECHANGE, event,
                             reinterpret_cast<LPARAM>(record.data()), SMTO_NORMAL, 10000,
                             &result) &&
         result == TRUE;
}

TEST_F(Tree, RebuiltWhenAKeyComesOrGoesNotForAnotherDevice) {
  const std::string first = ProvisionedKey("FIRST");
  Certdesk app;
  StartExpecting(app, {{"FIRST", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}});
  const std::string second = ProvisionedKey("SECOND");
  TreeTexts both;
  for (const std::string &key : KeysInDeviceOrder({first, second})) {
    both.push_back({key == first ? "FIRST" : "SECOND", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign});
  }
  EXPECT_TRUE(app.WaitForTree(both)) << Describe(Texts(app.Tree()));
  ASSERT_TRUE(vkey::Remove(first));
  EXPECT_TRUE(app.WaitForTree({{"SECOND", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}}));
  ASSERT_TRUE(vkey::Remove(second));
  EXPECT_TRUE(app.WaitForTree({{kNoKey}})) << Describe(Texts(app.Tree()));
  ASSERT_TRUE(vkey::Insert(second));
  EXPECT_TRUE(app.WaitForTree({{"SECOND", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}}));

  // The card changes without a key coming or going: another device's event, a refresh
  // message of another kind leave the tree as it is; the key's own event and a refresh
  // message rebuild it.
  const TreeTexts before = Texts(app.Tree());
  ASSERT_TRUE(SetLabel(second, "RENAMED"));
  const TreeTexts renamed = {{"RENAMED", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}};
  EXPECT_TRUE(SendDeviceChange(app.main(), DBT_DEVICEARRIVAL, "\\\\?\\USB#VID_0000&PID_0000"));
  EXPECT_TRUE(SendDeviceChange(app.main(), DBT_DEVICEREMOVECOMPLETE, "Another Reader 0"));
  EXPECT_EQ(SendMessageW(app.main(), kRefreshMessage, 0, 16), 0);
  EXPECT_EQ(Texts(app.Tree()), before);
  EXPECT_TRUE(SendDeviceChange(app.main(), DBT_DEVICEARRIVAL, vkey::ReaderOf(second)));
  EXPECT_EQ(Texts(app.Tree()), renamed);
  ASSERT_TRUE(SetLabel(second, "AGAIN"));
  SendMessageW(app.main(), kRefreshMessage, 0, 128);
  EXPECT_EQ(Texts(app.Tree()), (TreeTexts{{"AGAIN", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}}));
}

}  // namespace
}  // namespace certdesk_test
