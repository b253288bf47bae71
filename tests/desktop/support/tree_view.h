// A tree-view control of another process, read and driven from a test: its items with texts
// and images (through memory of the owning process), selection and double-click.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace desktop {

struct TreeNode {
  HTREEITEM item = nullptr;
  std::string text;  // UTF-8
  int image = -1;
  int selected_image = -1;
  bool expanded = false;
  std::vector<TreeNode> children;
};

// Every item, top level first, children in order.
std::vector<TreeNode> ReadTree(HWND tree);
HTREEITEM SelectedItem(HWND tree);
// Selects an item as a click does (TVN_SELCHANGED reaches the owner); returns once handled.
void SelectItem(HWND tree, HTREEITEM item);
// A double-click on the item's text, sent: true when the tree has handled it within
// `timeout_ms` (false also when it opened a modal window that is still open).
bool DoubleClickItem(HWND tree, HTREEITEM item, int timeout_ms = 5000);

}  // namespace desktop
