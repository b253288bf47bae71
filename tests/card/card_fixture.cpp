#include "card_fixture.h"

#include <cstdio>
#include <cstring>

#include "platform/os/os.h"
#include "skf/card/binding.h"

namespace {

const char kAnchor = 0;

template <typename Fn>
void Resolve(void *library, const char *name, Fn &slot) {
  slot = reinterpret_cast<Fn>(os::LibrarySymbol(library, name));
  if (!slot) std::fprintf(stderr, "test readerio lacks %s\n", name);
}

}  // namespace

std::string TestFolder() {
  char name[kPathSize] = {};
  os::ModuleFileName(os::ModuleOf(&kAnchor), name);
  std::string path(name);
  return path.substr(0, path.rfind(kPathSeparator) + 1);
}

const FakeControls &Fake() {
  static const FakeControls controls = [] {
    FakeControls c{};
    void *library = os::OpenLibrary((TestFolder() + std::string(kReaderLibName)).c_str());
    if (!library) {
      std::fprintf(stderr, "test readerio not found\n");
      std::abort();
    }
    Resolve(library, "FakeReaderio_Reset", c.Reset);
    Resolve(library, "FakeReaderio_SetReaders", c.SetReaders);
    Resolve(library, "FakeReaderio_SetAtr", c.SetAtr);
    Resolve(library, "FakeReaderio_SetDescriptor", c.SetDescriptor);
    Resolve(library, "FakeReaderio_SetOpenStatus", c.SetOpenStatus);
    Resolve(library, "FakeReaderio_Queue", c.Queue);
    Resolve(library, "FakeReaderio_SetDefault", c.SetDefault);
    Resolve(library, "FakeReaderio_SentCount", c.SentCount);
    Resolve(library, "FakeReaderio_Sent", c.Sent);
    Resolve(library, "FakeReaderio_ClosedCount", c.ClosedCount);
    return c;
  }();
  return controls;
}

std::vector<std::uint8_t> FromHex(const std::string &hex) {
  std::vector<std::uint8_t> bytes;
  int high = -1;
  for (char ch : hex) {
    int v = -1;
    if (ch >= '0' && ch <= '9') v = ch - '0';
    if (ch >= 'A' && ch <= 'F') v = ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') v = ch - 'a' + 10;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return bytes;
}

std::string ToHex(const std::vector<std::uint8_t> &bytes) {
  std::string text;
  char part[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(part, sizeof part, i ? " %02X" : "%02X", bytes[i]);
    text += part;
  }
  return text;
}

void CardTest::SetUp() {
  Fake().Reset();
  ASSERT_EQ(BindReaderApi(), 0);
}

void CardTest::Answer(const std::string &hex, std::uint32_t sw) { AnswerBytes(FromHex(hex), sw); }

void CardTest::AnswerBytes(const std::vector<std::uint8_t> &data, std::uint32_t sw) {
  Fake().Queue(data.data(), static_cast<std::uint32_t>(data.size()), sw);
}

std::vector<std::string> CardTest::Sent() {
  std::vector<std::string> all;
  for (std::uint32_t i = 0; i < Fake().SentCount(); ++i) {
    std::vector<std::uint8_t> command(0x10000);
    command.resize(Fake().Sent(i, command.data(), static_cast<std::uint32_t>(command.size())));
    all.push_back(ToHex(command));
  }
  return all;
}
