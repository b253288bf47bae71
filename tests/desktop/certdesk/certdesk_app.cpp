#include "certdesk_app.h"

#include <atomic>

namespace certdesk_test {

std::string BuildFolder() { return desktop::OwnFolder(); }

LoneFolder::LoneFolder(const std::vector<std::string> &files, const std::string &exe_name)
    : exe_name_(exe_name) {
  static std::atomic<int> made{0};
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + "certdesk-test-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(made++) + "\\";
  CreateDirectoryA(path_.c_str(), nullptr);
  CopyFileA((BuildFolder() + "certdesk.exe").c_str(), exe().c_str(), FALSE);
  for (const std::string &f : files) {
    CopyFileA((BuildFolder() + f).c_str(), (path_ + f).c_str(), FALSE);
  }
}

LoneFolder::~LoneFolder() {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((path_ + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileA((path_ + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path_.c_str());
}

Certdesk::~Certdesk() {
  if (program_.Running()) Close();
}

bool Certdesk::Start(const std::string &exe, const std::string &args,
                     const std::vector<std::pair<std::string, std::string>> &environment) {
  const std::string program = exe.empty() ? BuildFolder() + "certdesk.exe" : exe;
  if (!program_.Start(program, args, "", environment)) return false;
  main_ = desktop::WaitForTopWindow(program_.pid(), "#32770", kMainCaption, 20000);
  return main_ != nullptr;
}

bool Certdesk::Select(const std::string &root, const std::string &child) {
  for (const desktop::TreeNode &r : Tree()) {
    if (r.text != root) continue;
    if (child.empty()) {
      desktop::SelectItem(tree(), r.item);
      return true;
    }
    for (const desktop::TreeNode &c : r.children) {
      if (c.text == child) {
        desktop::SelectItem(tree(), c.item);
        return true;
      }
    }
  }
  return false;
}

std::vector<std::vector<std::string>> Texts(const std::vector<desktop::TreeNode> &tree) {
  std::vector<std::vector<std::string>> texts;
  for (const desktop::TreeNode &root : tree) {
    texts.push_back({root.text});
    for (const desktop::TreeNode &child : root.children) texts.back().push_back(child.text);
  }
  return texts;
}

std::string Describe(const std::vector<std::vector<std::string>> &texts) {
  std::string out;
  for (const auto &root : texts) {
    out += "[";
    for (std::size_t i = 0; i < root.size(); ++i) out += (i ? " | " : "") + root[i];
    out += "] ";
  }
  return out;
}

bool Certdesk::WaitForTree(const std::vector<std::vector<std::string>> &expected, int timeout_ms) {
  return desktop::WaitUntil([&] { return Texts(Tree()) == expected; }, timeout_ms);
}

HWND Certdesk::WaitMessage(int timeout_ms) const {
  return desktop::WaitForMessageBox(program_.pid(), kMessageCaption, timeout_ms);
}

desktop::MessageBoxView Certdesk::TakeMessage(int button) {
  HWND box = WaitMessage();
  if (!box) return {};
  desktop::MessageBoxView view = desktop::ReadMessageBox(box);
  desktop::AnswerMessageBox(box, button);
  return view;
}

HWND Certdesk::OpenPinDialog(int command, const std::string &root, const std::string &certificate) {
  if (!Select(root, certificate)) return nullptr;
  desktop::PostCommand(main_, command);
  return WaitDialog(command == kVerify ? kVerifyCaption : kChangeCaption);
}

HWND Certdesk::WaitDialog(const char *caption, int timeout_ms) const {
  return desktop::WaitForTopWindow(program_.pid(), "#32770", caption, timeout_ms);
}

HWND Certdesk::WaitViewer(int timeout_ms) const {
  HWND viewer = nullptr;
  desktop::WaitUntil(
      [&] {
        for (HWND h : desktop::TopWindows(program_.pid(), "#32770", kMainCaption)) {
          if (h != main_) viewer = h;
        }
        return viewer != nullptr;
      },
      timeout_ms);
  return viewer;
}

namespace {

constexpr int kViewerNames = 2004;  // the viewer's "issued to / issued by" field

BOOL CALLBACK FindNames(HWND h, LPARAM found) {
  if (GetDlgCtrlID(h) != kViewerNames) return TRUE;
  *reinterpret_cast<HWND *>(found) = h;
  return FALSE;
}

}  // namespace

std::string ViewerNames(HWND viewer) {
  HWND names = nullptr;
  desktop::WaitUntil(
      [&] {
        EnumChildWindows(viewer, FindNames, reinterpret_cast<LPARAM>(&names));
        return names != nullptr;
      },
      5000);
  return names ? desktop::WindowText(names) : std::string();
}

long Certdesk::Close() {
  if (main_ && IsWindow(main_)) PostMessageW(main_, WM_CLOSE, 0, 0);
  DWORD code = 0;
  if (!program_.WaitExit(10000, &code)) {
    program_.Kill();
    return -1;
  }
  return static_cast<long>(code);
}

}  // namespace certdesk_test
