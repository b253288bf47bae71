#include "base_child.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "both_fixture.h"
#include "key_file_record.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace legacytest {

namespace {

constexpr char kChildFlag[] = "--child";

std::uint32_t OwnId() {
#if defined(_WIN32)
  return GetCurrentProcessId();
#else
  return static_cast<std::uint32_t>(getpid());
#endif
}

int DieHolding(const std::string &serial) {
  std::uint8_t *record = MapKeyFileRecord();
  if (!record) return 2;
  std::atomic_ref<std::uint32_t> owner(
      *reinterpret_cast<std::uint32_t *>(record + kKeyFileOwnerAt));
  std::uint32_t idle = 0;
  if (!owner.compare_exchange_strong(idle, OwnId())) return 2;
  // A copy that looks whole: the key's serial, filled under the current generation.
  std::memcpy(record + kKeyFileFilledAt, record + kKeyFileGenerationAt, 4);
  std::memset(record + kKeyFileSerialAt, 0, 32);
  std::memcpy(record + kKeyFileSerialAt, serial.data(), std::min<std::size_t>(serial.size(), 31));
  std::uint8_t *table = record + kKeyFileTablesAt;
  std::memset(table, 0, 1040);
  table[0] = 1;  // FileExist
  table[1] = 1;  // FileAllocated
  std::memcpy(table + 2, "half", 5);
  std::_Exit(0);  // without letting the record go
}

}  // namespace

std::string FileNames(const host::Library &lib, HAPPLICATION app) {
  char list[1024] = {};
  ULONG size = sizeof list;
  if (SKF_OF(lib, SKF_EnumFiles)(app, list, &size) != SAR_OK) return "(failed)";
  std::string names;
  for (const char *p = list; *p; p += std::strlen(p) + 1) {
    names += (names.empty() ? "" : ",") + std::string(p);
  }
  return names;
}

std::vector<std::string> ChildArgs(const std::string &reader, const char *mode,
                                   const std::string &argument) {
  return {kChildFlag, reader, mode, argument};
}

int RunChild(int argc, char **argv) {
  if (argc != 5 || std::strcmp(argv[1], kChildFlag) != 0) return -1;
  const std::string reader = argv[2], mode = argv[3], argument = argv[4];
  if (mode == "die-holding") return DieHolding(argument);
  const host::Library &base = host::Base();
  DEVHANDLE device = nullptr;
  if (SKF_OF(base, SKF_ConnectDev)(reader.c_str(), &device) != SAR_OK) return 2;
  if (mode == "connect") return SKF_OF(base, SKF_DisConnectDev)(device) == SAR_OK ? 0 : 2;
  HAPPLICATION app = nullptr;
  int result = 2;
  if (SKF_OF(base, SKF_OpenApplication)(device, const_cast<char *>(kAppName), &app) == SAR_OK) {
    result = mode != "enum" || FileNames(base, app) == argument ? 0 : 1;
  }
  SKF_OF(base, SKF_DisConnectDev)(device);
  return result;
}

}  // namespace legacytest

// The program of the process tests: a child when its arguments say so, else the tests.
int main(int argc, char **argv) {
  if (const int child = legacytest::RunChild(argc, argv); child >= 0) return child;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
