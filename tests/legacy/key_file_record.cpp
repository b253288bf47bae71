#include "key_file_record.h"

#include <cstring>

#include "host_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace legacytest {

std::uint8_t *MapKeyFileRecord() {
#if defined(_WIN32)
  host::Base().Require("SKF_EnumDev");  // loads the library
  auto *base = reinterpret_cast<std::uint8_t *>(GetModuleHandleA("tokenbase.dll"));
  if (!base) return nullptr;
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (std::strncmp(reinterpret_cast<const char *>(section->Name), ".tbkfc",
                     IMAGE_SIZEOF_SHORT_NAME) == 0 &&
        section->Misc.VirtualSize >= kKeyFileRecordSize) {
      return base + section->VirtualAddress;
    }
  }
  return nullptr;
#else
  const int fd = shm_open("/tokenbase.m_keyfileInfo", O_RDWR, 0);
  if (fd < 0) return nullptr;
  void *view = mmap(nullptr, kKeyFileRecordSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  return view == MAP_FAILED ? nullptr : static_cast<std::uint8_t *>(view);
#endif
}

}  // namespace legacytest
