#include <cstring>

#include "platform/os/os.h"
#include "skf/card/binding.h"

#if defined(_WIN32)
#include <windows.h>
#endif

void *ModuleHandle = nullptr;
char ReaderLibPath[kPathSize] = {};

namespace {
constexpr unsigned long kProcessAttach = 1;
}

bool FormReaderLibPath(std::string_view module_file_name, char separator,
                       std::string_view file_name, std::span<char, kPathSize> out) {
  std::memset(out.data(), 0, out.size());
  std::size_t folder = 0;
  if (module_file_name.empty()) {
    if (file_name.size() >= out.size()) return false;
    std::memcpy(out.data(), file_name.data(), file_name.size());
    return true;
  }
  const std::size_t last = module_file_name.rfind(separator);
  if (last != std::string_view::npos) folder = last;
  if (folder + 1 + file_name.size() >= out.size()) return false;
  std::memcpy(out.data(), module_file_name.data(), folder);
  out[folder] = separator;
  std::memcpy(out.data() + folder + 1, file_name.data(), file_name.size());
  return true;
}

int SetReaderLibPath(void *module, unsigned long reason, void * /*reserved*/) {
  // Thread attach and detach come with the same handle while other threads may read it.
  if (ModuleHandle != module) ModuleHandle = module;
  if (reason != kProcessAttach) return 1;
  char name[kPathSize] = {};
  const int n = os::ModuleFileName(module, name);
  if (n < 0) {
    std::memset(ReaderLibPath, 0, sizeof ReaderLibPath);  // too long: binding is refused
    return 1;
  }
  FormReaderLibPath({name, static_cast<std::size_t>(n)}, kPathSeparator, kReaderLibName,
                    ReaderLibPath);
  return 1;
}

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return SetReaderLibPath(instance, reason, reserved);
}
#else
namespace {
const char kModuleAnchor = 0;

__attribute__((constructor)) void OnLibraryLoad() {
  SetReaderLibPath(os::ModuleOf(&kModuleAnchor), kProcessAttach, nullptr);
}
}  // namespace
#endif
