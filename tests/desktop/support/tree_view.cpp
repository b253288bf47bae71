#include "tests/desktop/support/tree_view.h"

#include "tests/desktop/support/desktop_window.h"

namespace desktop {

namespace {

// A block of memory in the process that owns a window, for messages that take pointers.
class RemoteMemory {
 public:
  RemoteMemory(HWND window, std::size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) {
      address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
  }
  ~RemoteMemory() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  RemoteMemory(const RemoteMemory &) = delete;
  RemoteMemory &operator=(const RemoteMemory &) = delete;

  bool ok() const { return address_ != nullptr; }
  char *at(std::size_t offset) const { return static_cast<char *>(address_) + offset; }
  bool Write(std::size_t offset, const void *data, std::size_t n) const {
    return offset + n <= size_ && WriteProcessMemory(process_, at(offset), data, n, nullptr);
  }
  bool Read(std::size_t offset, void *data, std::size_t n) const {
    return offset + n <= size_ && ReadProcessMemory(process_, at(offset), data, n, nullptr);
  }

 private:
  std::size_t size_;
  HANDLE process_ = nullptr;
  void *address_ = nullptr;
};

constexpr int kTextChars = 512;

HTREEITEM Next(HWND tree, HTREEITEM item, UINT how) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

TreeNode ReadItem(HWND tree, const RemoteMemory &memory, HTREEITEM item) {
  TreeNode node;
  node.item = item;
  TVITEMW query{};
  query.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
  query.hItem = item;
  query.stateMask = TVIS_EXPANDED;
  query.pszText = reinterpret_cast<wchar_t *>(memory.at(sizeof query));
  query.cchTextMax = kTextChars;
  wchar_t text[kTextChars] = {};
  if (memory.Write(0, &query, sizeof query) && memory.Write(sizeof query, text, sizeof text) &&
      SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.at(0))) &&
      memory.Read(0, &query, sizeof query) && memory.Read(sizeof query, text, sizeof text)) {
    text[kTextChars - 1] = L'\0';
    node.text = Utf8(text);
    node.image = query.iImage;
    node.selected_image = query.iSelectedImage;
    node.expanded = (query.state & TVIS_EXPANDED) != 0;
  }
  for (HTREEITEM child = Next(tree, item, TVGN_CHILD); child;
       child = Next(tree, child, TVGN_NEXT)) {
    node.children.push_back(ReadItem(tree, memory, child));
  }
  return node;
}

}  // namespace

std::vector<TreeNode> ReadTree(HWND tree) {
  std::vector<TreeNode> roots;
  RemoteMemory memory(tree, sizeof(TVITEMW) + kTextChars * sizeof(wchar_t));
  if (!memory.ok()) return roots;
  for (HTREEITEM root = Next(tree, nullptr, TVGN_ROOT); root; root = Next(tree, root, TVGN_NEXT)) {
    roots.push_back(ReadItem(tree, memory, root));
  }
  return roots;
}

HTREEITEM SelectedItem(HWND tree) { return Next(tree, nullptr, TVGN_CARET); }

void SelectItem(HWND tree, HTREEITEM item) {
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

bool DoubleClickItem(HWND tree, HTREEITEM item, int timeout_ms) {
  RemoteMemory memory(tree, sizeof(RECT));
  RECT rect{};
  // TVM_GETITEMRECT takes the item in the rectangle's first member.
  static_assert(sizeof(HTREEITEM) <= sizeof(RECT));
  if (!memory.Write(0, &rect, sizeof rect) || !memory.Write(0, &item, sizeof item) ||
      !SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(memory.at(0))) ||
      !memory.Read(0, &rect, sizeof rect)) {
    return false;
  }
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, at, SMTO_NORMAL, timeout_ms,
                             &result) != 0;
}

}  // namespace desktop
