#include "key_file_record.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace legacytest {

std::uint8_t *MapKeyFileRecord() {
#if defined(_WIN32)
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      kKeyFileRecordSize, "tokenbase.m_keyfileInfo.record");
  if (!mapping) return nullptr;
  // The handle stays open with the view.
  return static_cast<std::uint8_t *>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, kKeyFileRecordSize));
#else
  const int fd = shm_open("/tokenbase.m_keyfileInfo", O_RDWR | O_CREAT, 0600);
  if (fd < 0) return nullptr;
  struct stat st {};
  void *view = MAP_FAILED;
  if (fstat(fd, &st) == 0 && (st.st_size >= static_cast<off_t>(kKeyFileRecordSize) ||
                              ftruncate(fd, kKeyFileRecordSize) == 0)) {
    view = mmap(nullptr, kKeyFileRecordSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  close(fd);
  return view == MAP_FAILED ? nullptr : static_cast<std::uint8_t *>(view);
#endif
}

}  // namespace legacytest
