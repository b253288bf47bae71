#include "ops_fixture.h"

#include "platform/os/os.h"
#include "skf/card/binding.h"

namespace {

using SetReaderInfo_t = void (*)(std::uint32_t, std::uint32_t, int);
using ReaderInfoCalls_t = std::uint32_t (*)();

template <typename Fn>
Fn Control(const char *name) {
  void *library = os::OpenLibrary((TestFolder() + std::string(kReaderLibName)).c_str());
  return reinterpret_cast<Fn>(os::LibrarySymbol(library, name));
}

}  // namespace

void OpsTest::SetUp() {
  CardTest::SetUp();
  ReaderInfo(0x9000, 0, false);
}

void OpsTest::ReaderInfo(std::uint32_t sw, std::uint32_t max_data, bool write) {
  static const auto set = Control<SetReaderInfo_t>("FakeReaderio_SetReaderInfo");
  ASSERT_NE(set, nullptr);
  set(sw, max_data, write ? 1 : 0);
}

std::uint32_t OpsTest::ReaderInfoCalls() {
  static const auto calls = Control<ReaderInfoCalls_t>("FakeReaderio_ReaderInfoCalls");
  return calls ? calls() : 0;
}

std::vector<ByteVec> OpsTest::SentBytes() {
  std::vector<ByteVec> all;
  for (const std::string &hex : Sent()) all.push_back(FromHex(hex));
  return all;
}

ByteVec Cat(std::initializer_list<ByteVec> parts) {
  ByteVec all;
  for (const ByteVec &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

ByteVec Fill(std::size_t n, std::uint8_t value) { return ByteVec(n, value); }

ByteVec Counting(std::size_t n, std::uint8_t start) {
  ByteVec v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(start + i);
  return v;
}
