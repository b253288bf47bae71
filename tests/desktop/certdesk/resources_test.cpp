// certdesk's resources as its module holds them: each dialog made from its template here (with
// a procedure that does nothing) and its controls inspected, and the bitmaps and icon.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/desktop/support/desktop_window.h"
#include "tests/desktop/support/program.h"

namespace {

using desktop::ControlStyle;
using desktop::ControlText;
using desktop::ControlVisible;

HMODULE Certdesk() {
  static HMODULE module = LoadLibraryExA((desktop::OwnFolder() + "certdesk.exe").c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE);
  return module;
}

INT_PTR CALLBACK Inert(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class Template {
 public:
  explicit Template(int id)
      : dialog_(CreateDialogParamA(Certdesk(), MAKEINTRESOURCEA(id), nullptr, Inert, 0)) {}
  ~Template() {
    if (dialog_) DestroyWindow(dialog_);
  }
  HWND operator*() const { return dialog_; }

  // Position and size of a control in dialog units.
  RECT Units(int id) const {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog_, id), &r);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT *>(&r), 2);
    RECT unit{0, 0, 4, 8};
    MapDialogRect(dialog_, &unit);
    return {r.left * 4 / unit.right, r.top * 8 / unit.bottom, r.right * 4 / unit.right,
            r.bottom * 8 / unit.bottom};
  }

 private:
  HWND dialog_;
};

// Client size in dialog units, the caption and the font of the template.
void ExpectFrame(HWND dialog, const char *caption) {
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(desktop::WindowText(dialog), caption);
  RECT client{}, size{0, 0, 292, 195};
  GetClientRect(dialog, &client);
  MapDialogRect(dialog, &size);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
  EXPECT_EQ(desktop::Utf8(font.lfFaceName), "宋体");
}

TEST(Resources, MainDialog) {
  ASSERT_NE(Certdesk(), nullptr);
  Template main(101);
  ExpectFrame(*main, "数字证书用户工具");
  EXPECT_EQ(desktop::ClassName(GetDlgItem(*main, 1000)), "SysTreeView32");
  for (int id : {1003, 1020}) {
    EXPECT_FALSE(ControlVisible(*main, id)) << id;
    EXPECT_TRUE(ControlStyle(*main, id) & WS_DISABLED) << id;
  }
}

TEST(Resources, RenameDialogIsThereUnused) {
  Template rename(105);
  ASSERT_NE(*rename, nullptr);
  EXPECT_EQ(desktop::WindowText(*rename), "修改设备名");
  for (int id : {1005, 1006}) EXPECT_EQ(desktop::ClassName(GetDlgItem(*rename, id)), "Edit");
}

TEST(Resources, ChangeDialog) {
  Template change(108);
  ExpectFrame(*change, "修改USBKey密码");
  for (int id : {1007, 1008, 1009}) EXPECT_TRUE(ControlStyle(*change, id) & ES_PASSWORD) << id;
  // The meter: three bitmaps on one spot, their labels on one spot beside them.
  const int kBitmaps[] = {1012, 1014, 1016};
  const char *kLabels[] = {"低", "中", "高"};
  for (int level = 0; level < 3; ++level) {
    const int bitmap = kBitmaps[level], label = bitmap + 1;
    EXPECT_EQ(ControlStyle(*change, bitmap) & SS_TYPEMASK, SS_BITMAP);
    EXPECT_NE(SendDlgItemMessageW(*change, bitmap, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    EXPECT_EQ(ControlText(*change, label), kLabels[level]);
    EXPECT_EQ(change.Units(bitmap).left, change.Units(1012).left);
    EXPECT_EQ(change.Units(label).left, change.Units(1013).left);
    EXPECT_GT(change.Units(label).left, change.Units(bitmap).left);
  }
}

TEST(Resources, VerifyDialogKeyboard) {
  Template verify(112);
  ExpectFrame(*verify, "验证USBKey密码");
  EXPECT_EQ(ControlStyle(*verify, 1018) & (ES_PASSWORD | ES_AUTOHSCROLL),
            ES_PASSWORD | ES_AUTOHSCROLL);
  // Four rows, left to right; every key twice at one place.
  const std::vector<std::vector<int>> kRows = {
      {1040, 1101, 1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109, 1100, 1041, 1042, 1062},
      {1060, 1201, 1202, 1203, 1204, 1205, 1206, 1207, 1208, 1209, 1210, 1044, 1045, 1043},
      {1063, 1211, 1212, 1213, 1214, 1215, 1216, 1217, 1218, 1219, 1046, 1047, 1064},
      {1061, 1220, 1221, 1222, 1223, 1224, 1225, 1226, 1048, 1049, 1050, 1065}};
  int previous_row = -1;
  for (const auto &row : kRows) {
    const int y = verify.Units(row[0]).top;
    EXPECT_GT(y, previous_row);
    previous_row = y;
    int previous_key = -1;
    for (int id : row) {
      ASSERT_NE(GetDlgItem(*verify, id), nullptr) << id;
      ASSERT_NE(GetDlgItem(*verify, id + 1000), nullptr) << id + 1000;
      const RECT key = verify.Units(id), twin = verify.Units(id + 1000);
      EXPECT_EQ(key.top, y) << id;
      EXPECT_GT(key.left, previous_key) << id;
      previous_key = key.left;
      EXPECT_TRUE(EqualRect(&key, &twin)) << id;
    }
  }
  const struct {
    int id;
    const char *caption;
  } kControlKeys[] = {{1060, "Tab"},  {1061, "Shift"}, {1062, "Del"},
                      {1063, "Caps"}, {1064, "Enter"}, {1065, "Shift"}};
  for (const auto &k : kControlKeys) EXPECT_EQ(ControlText(*verify, k.id), k.caption) << k.id;
  for (int id : {2061, 2063, 2065}) EXPECT_TRUE(ControlStyle(*verify, id) & BS_BITMAP) << id;
}

TEST(Resources, BitmapsAndIcon) {
  for (int id : {102, 107, 109, 110, 111, 113, 114, 115}) {
    HBITMAP bitmap = LoadBitmapA(Certdesk(), MAKEINTRESOURCEA(id));
    ASSERT_NE(bitmap, nullptr) << id;
    BITMAP size{};
    GetObjectA(bitmap, sizeof size, &size);
    if (id == 107) {
      // Two 16 × 16 images side by side, the mask colour around them.
      EXPECT_EQ(size.bmWidth, 2 * size.bmHeight);
      HDC dc = CreateCompatibleDC(nullptr);
      HGDIOBJ old = SelectObject(dc, bitmap);
      EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0xFF, 0x00, 0xFF));
      EXPECT_EQ(GetPixel(dc, size.bmWidth - 1, 0), RGB(0xFF, 0x00, 0xFF));
      SelectObject(dc, old);
      DeleteDC(dc);
    }
    DeleteObject(bitmap);
  }
  for (int side : {16, 32}) {
    EXPECT_NE(LoadImageA(Certdesk(), MAKEINTRESOURCEA(103), IMAGE_ICON, side, side, 0), nullptr);
  }
}

}  // namespace
