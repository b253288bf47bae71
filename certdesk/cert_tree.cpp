#include "certdesk/cert_tree.h"

#include <commctrl.h>
#include <wincrypt.h>

#include <cstring>

#include "certdesk/buttons.h"
#include "certdesk/cardcmd_binding.h"
#include "certdesk/device_slots.h"
#include "certdesk/key_device.h"
#include "certdesk/resource_ids.h"
#include "certdesk/text_fit.h"
#include "certdesk/texts.h"

namespace certdesk {

namespace {

constexpr int kKeyImage = 0;
constexpr int kCertImage = 1;
constexpr COLORREF kMaskColour = RGB(0xFF, 0x00, 0xFF);
constexpr std::size_t kLabelField = kAppEntryFirst;  // the label precedes the entries
constexpr std::size_t kNameBuffer = 256;             // CertGetNameStringA
constexpr std::size_t kItemText = 180;
constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

HWND Tree(HWND dialog) { return GetDlgItem(dialog, IDC_CERT_TREE); }

// The two images of bitmap 107, side by side, as the tree's image list.
void AttachImages(HWND dialog) {
  HBITMAP bitmap = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TREE_IMAGES));
  BITMAP size{};
  HIMAGELIST list = nullptr;
  if (bitmap && GetObjectA(bitmap, sizeof size, &size)) {
    list = ImageList_Create(size.bmWidth / 2, size.bmHeight, ILC_COLOR8 | ILC_MASK, 2, 0);
    if (list) ImageList_AddMasked(list, bitmap, kMaskColour);
  }
  if (bitmap) DeleteObject(bitmap);
  HIMAGELIST old = TreeView_SetImageList(Tree(dialog), list, TVSIL_NORMAL);
  if (old && old != list) ImageList_Destroy(old);
}

HTREEITEM InsertItem(HWND dialog, HTREEITEM parent, const char *text, int image) {
  TVINSERTSTRUCTA insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = const_cast<char *>(text);
  insert.item.iImage = image;
  insert.item.iSelectedImage = image;
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(Tree(dialog), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

// Decodes a certificate, names it and lists it under the key's root; false when it is skipped.
bool InsertCertificate(HWND dialog, DeviceSlot &slot, CertPair &pair, CertKind kind,
                       const std::uint8_t *der, std::size_t length) {
  PCCERT_CONTEXT context =
      CertCreateCertificateContext(kEncodings, der, static_cast<DWORD>(length));
  if (!context) return false;
  CRYPT_KEY_PROV_INFO provider{};
  provider.dwProvType = PROV_RSA_FULL;
  provider.dwKeySpec = AT_KEYEXCHANGE;
  char subject[kNameBuffer] = {};
  char issuer[kNameBuffer] = {};
  const bool named =
      CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &provider) &&
      CertGetNameStringA(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, subject,
                         kNameBuffer) != 0 &&
      CertGetNameStringA(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr,
                         issuer, kNameBuffer) != 0;
  CertFreeCertificateContext(context);
  if (!named) return false;
  char text[kItemText];
  FitText(text, sizeof text, subject, sizeof subject);
  HTREEITEM item = InsertItem(dialog, slot.root, text, kCertImage);
  TreeView_Expand(Tree(dialog), slot.root, TVE_EXPAND);
  TreeView_Expand(Tree(dialog), item, TVE_EXPAND);
  const auto n = static_cast<std::int32_t>(length);
  if (kind == CertKind::kEncryption) {
    pair.enc_item = item;
    pair.enc_length = n;
    std::memcpy(pair.enc_der, der, length);
  } else {
    pair.sign_item = item;
    pair.sign_length = n;
    std::memcpy(pair.sign_der, der, length);
  }
  return true;
}

// Reads one certificate file of container i of application a and lists it.
bool ListCertificate(HWND dialog, std::int32_t handle, DeviceSlot &slot, int a, int i,
                     CertKind kind) {
  if (!SelectMasterFile(handle) || !SelectApplication(handle, a) ||
      !SelectContainer(handle, a, i)) {
    return false;
  }
  std::uint8_t der[kCertificateSize] = {};
  std::size_t length = 0;
  const std::uint16_t file = kind == CertKind::kEncryption ? kEncCertFile : kSignCertFile;
  return ReadKeyFile(handle, file, der, sizeof der, LongFile::kRefuse, &length) == 0 &&
         InsertCertificate(dialog, slot, slot.pairs[kListedContainers * a + i], kind, der, length);
}

void ListApplication(HWND dialog, std::int32_t handle, DeviceSlot &slot, int a) {
  SelectMasterFile(handle);
  if (ProbeKeySlot(handle, static_cast<std::uint16_t>(kFirstApplication + a)) != 0) return;
  std::uint8_t directory[kContainerDirectorySize] = {};
  std::size_t length = 0;
  if (!SelectApplication(handle, a) ||
      ReadKeyFile(handle, kDirectoryFile, directory, sizeof directory, LongFile::kTruncate,
                  &length) != 0 ||
      length == 0) {
    return;
  }
  auto entry = [&](int i) { return directory + kContainerEntryFirst + kContainerEntrySize * i; };
  bool any = false;
  for (int i = 0; i < kListedContainers; ++i) any = any || entry(i)[kEntryName] != 0;
  if (!any) return;
  for (int i = 0; i < kListedContainers; ++i) {
    const bool used = entry(i)[kEntryName] != 0;
    const bool enc = used && FieldAt(entry(i), kEntryEncCertFlag) != 0;
    const bool sign = used && FieldAt(entry(i), kEntrySignCertFlag) != 0;
    if (enc && !ListCertificate(dialog, handle, slot, a, i, CertKind::kEncryption)) continue;
    if (sign) ListCertificate(dialog, handle, slot, a, i, CertKind::kSigning);
  }
}

// Lists the key of device index k; its root item, or null when it is left out.
HTREEITEM ListKey(HWND dialog, int k) {
  DeviceSlot &slot = DeviceSlots()[k];
  slot.device_index = k;
  const std::int32_t handle = OpenKeyDevice(k);
  if (handle <= 0) return nullptr;
  std::uint8_t answer[CARDCMD_RESET_BUFFER] = {};
  std::uint8_t serial[CARDCMD_SERIAL_BUFFER] = {};
  BoundCardCmd().reset(handle, answer);
  BoundCardCmd().get_bcdsn(handle, serial);
  std::uint8_t directory[kAppDirectorySize] = {};
  std::size_t length = 0;
  if (ReadKeyFile(handle, kDirectoryFile, directory, sizeof directory, LongFile::kTruncate,
                  &length) != 0) {
    CloseKeyDevice(handle);
    return nullptr;
  }
  FitText(slot.device_name, sizeof slot.device_name, reinterpret_cast<const char *>(directory),
          kLabelField);
  EnableCommands(dialog, Selected::kKey);
  slot.root = InsertItem(dialog, TVI_ROOT, slot.device_name, kKeyImage);
  for (int a = 0; a < kListedApplications; ++a) ListApplication(dialog, handle, slot, a);
  CloseKeyDevice(handle);
  return slot.root;
}

}  // namespace

void FillCertTree(HWND dialog) {
  std::memset(DeviceSlots(), 0, sizeof(DeviceSlot) * kListedKeys);
  TreeView_DeleteAllItems(Tree(dialog));
  AttachImages(dialog);
  HTREEITEM first = nullptr;
  for (int k = 0; k < kListedKeys; ++k) {
    HTREEITEM root = ListKey(dialog, k);
    if (!first) first = root;
  }
  if (first) {
    TreeView_Select(Tree(dialog), first, TVGN_CARET);
    return;
  }
  EnableCommands(dialog, Selected::kNothing);
  InsertItem(dialog, TVI_ROOT, kNoKey, kKeyImage);
}

void UpdateButtons(HWND dialog) {
  HTREEITEM selected = TreeView_GetSelection(Tree(dialog));
  if (!selected) return;
  if (TreeView_GetParent(Tree(dialog), selected)) {
    EnableCommands(dialog, Selected::kCertificate);
    return;
  }
  // A root is a key's, or the single "no key" item, which keeps every command off.
  bool key = false;
  for (int k = 0; k < kListedKeys; ++k) key = key || DeviceSlots()[k].root == selected;
  EnableCommands(dialog, key ? Selected::kKey : Selected::kNothing);
}

}  // namespace certdesk
