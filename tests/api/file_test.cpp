// File family on a provisioned key (create rights for everyone), with the file table and the
// data files read back raw.
#include <cstring>
#include <string>

#include "keysim_fixture.h"
#include "layouts.h"

namespace {

using vkey::Bytes;

constexpr std::uint16_t kApp = 0xAD01;

struct FileRecord {
  std::uint8_t exist, allocated;
  std::string name;
  std::uint32_t file_len, write_rights, read_rights, data_end;
};

FileRecord RecordOf(const Bytes &table, std::size_t i) {
  const std::size_t at = FileRecordAt(i);
  return {table.at(at),
          table.at(at + 1),
          vkey::TextAt(table, at + 2, 33),
          vkey::U32At(table, at + 36),
          vkey::U32At(table, at + 40),
          vkey::U32At(table, at + 44),
          vkey::U32At(table, at + 48)};
}

class FileTest : public VirtualKeyTest {
 protected:
  void SetUp() override {
    VirtualKeyTest::SetUp();
    key_ = NewKey(true);
    device_ = Connect(key_);
    char name[] = "KEYSIM-APP";
    ASSERT_EQ(SKF(SKF_OpenApplication)(device_, name, &app_), SAR_OK);
  }
  ULONG Create(const std::string &name, ULONG size, ULONG read = 0xFF, ULONG write = 0xFF) {
    return SKF(SKF_CreateFile)(app_, const_cast<char *>(name.c_str()), size, read, write);
  }
  ULONG Delete(const std::string &name) {
    return SKF(SKF_DeleteFile)(app_, const_cast<char *>(name.c_str()));
  }
  ULONG Info(const std::string &name, FILEATTRIBUTE *info) {
    return SKF(SKF_GetFileInfo)(app_, const_cast<char *>(name.c_str()), info);
  }
  std::string List() {
    ULONG size = 0;
    EXPECT_EQ(SKF(SKF_EnumFiles)(app_, nullptr, &size), SAR_OK);
    std::string list(size, 'x');
    EXPECT_EQ(SKF(SKF_EnumFiles)(app_, list.data(), &size), SAR_OK);
    list.resize(size);
    return list;
  }
  Bytes Table() {
    vkey::RawCard raw(key_);
    return ReadFile(raw, {kApp, 0xEF02});
  }

  std::string key_;
  DEVHANDLE device_ = nullptr;
  HAPPLICATION app_ = nullptr;
};

TEST_F(FileTest, CreateWriteReadAndDelete) {
  EXPECT_EQ(List(), std::string(1, '\0'));
  const std::string name32(32, 'F');
  ASSERT_EQ(Create("data", 100, 0x11, 0x22), SAR_OK);
  ASSERT_EQ(Create(name32, 8), SAR_OK);
  EXPECT_EQ(Create("data", 50), SAR_FILE_ALREADY_EXIST);
  EXPECT_EQ(List(), "data" + std::string(1, '\0') + name32 + std::string(2, '\0'));

  Bytes table = Table();
  ASSERT_EQ(table.size(), kFileTableSize);
  FileRecord r = RecordOf(table, 0);
  EXPECT_EQ(r.exist, 1);
  EXPECT_EQ(r.allocated, 1);
  EXPECT_EQ(r.name, "data");
  EXPECT_EQ(r.file_len, 100u);
  EXPECT_EQ(r.write_rights, 0x22u);
  EXPECT_EQ(r.read_rights, 0x11u);
  EXPECT_EQ(r.data_end, 0u);
  EXPECT_EQ(RecordOf(table, 1).name, name32);

  FILEATTRIBUTE info;
  ASSERT_EQ(Info("data", &info), SAR_OK);
  EXPECT_STREQ(info.FileName, "data");
  EXPECT_EQ(info.FileSize, 100u);
  EXPECT_EQ(info.ReadRights, 0x11u);
  EXPECT_EQ(info.WriteRights, 0x22u);
  ASSERT_EQ(Info(name32, &info), SAR_OK);
  EXPECT_EQ(std::string(info.FileName, 32), std::string(31, 'F') + '\0') << "cut to the field";

  Bytes data(50);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(3 * i + 7);
  char file[] = "data";
  ASSERT_EQ(SKF(SKF_WriteFile)(app_, file, 10, data.data(), 50), SAR_OK);
  EXPECT_EQ(RecordOf(Table(), 0).data_end, 60u);
  vkey::RawCard raw(key_);
  ASSERT_TRUE(raw.SelectPath({kApp, 0x0021}));
  EXPECT_EQ(raw.ReadRaw(10, 50), data) << "the data file holds the bytes raw";

  ULONG length = 0;
  ASSERT_EQ(SKF(SKF_ReadFile)(app_, file, 0, 0, nullptr, &length), SAR_OK);
  EXPECT_EQ(length, 100u);
  ASSERT_EQ(SKF(SKF_ReadFile)(app_, file, 90, 0, nullptr, &length), SAR_OK);
  EXPECT_EQ(length, 10u) << "to the end of the file";
  Bytes out(60, 0xEE);
  length = 49;
  EXPECT_EQ(SKF(SKF_ReadFile)(app_, file, 10, 50, out.data(), &length), SAR_BUFFER_TOO_SMALL);
  EXPECT_EQ(out[0], 0xEE);
  length = static_cast<ULONG>(out.size());
  ASSERT_EQ(SKF(SKF_ReadFile)(app_, file, 10, 50, out.data(), &length), SAR_OK);
  EXPECT_EQ(length, 50u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 50), data);
  EXPECT_EQ(SKF(SKF_ReadFile)(app_, file, 101, 0, out.data(), &length), SAR_INVALIDPARAMERR);

  EXPECT_EQ(SKF(SKF_WriteFile)(app_, file, 100, data.data(), 4), SAR_OK) << "offset = FileLen";
  EXPECT_EQ(SKF(SKF_WriteFile)(app_, file, 101, data.data(), 4), SAR_FILEERR);

  ASSERT_EQ(Delete("data"), SAR_OK);
  r = RecordOf(Table(), 0);
  EXPECT_EQ(r.exist, 0);
  EXPECT_EQ(r.allocated, 0) << "the card deleted the data file";
  EXPECT_EQ(r.data_end, 0u);
  EXPECT_EQ(r.file_len, 100u);
  EXPECT_EQ(Info("data", &info), SAR_FILE_NOT_EXIST);
  EXPECT_EQ(Delete("data"), SAR_FILE_NOT_EXIST);
  EXPECT_EQ(List(), name32 + std::string(2, '\0'));
}

TEST_F(FileTest, AFileTheCardKeptIsReusedWhenItFits) {
  ASSERT_TRUE(vkey::Knob(key_, "delete_6d00", "on"));
  ASSERT_EQ(Create("a", 100), SAR_OK);
  ASSERT_EQ(Delete("a"), SAR_OK);
  EXPECT_EQ(RecordOf(Table(), 0).allocated, 1) << "DELETE FILE answered 6D00";
  const std::uint64_t creates = vkey::Commands(key_, 0x80, 0xE0);
  ASSERT_EQ(Create("b", 96), SAR_OK);
  EXPECT_EQ(vkey::Commands(key_, 0x80, 0xE0), creates) << "no new data file";
  FileRecord r = RecordOf(Table(), 0);
  EXPECT_EQ(r.name, "b");
  EXPECT_EQ(r.file_len, 100u);
  FILEATTRIBUTE info;
  ASSERT_EQ(Info("b", &info), SAR_OK);
  EXPECT_EQ(info.FileSize, 100u);

  ASSERT_EQ(Delete("b"), SAR_OK);
  ASSERT_EQ(Create("c", 97), SAR_OK);
  const Bytes table = Table();
  EXPECT_EQ(RecordOf(table, 0).exist, 0) << "97 + 4 does not fit 100";
  EXPECT_EQ(RecordOf(table, 1).name, "c");
  EXPECT_EQ(RecordOf(table, 1).file_len, 97u);
}

TEST_F(FileTest, TwentyFilesThenNoRoom) {
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(Create("f" + std::to_string(i), i == 0 ? 1088 : 8), SAR_OK) << i;
  }
  EXPECT_EQ(Create("f20", 8), SAR_NO_ROOM);
  FILEATTRIBUTE info;
  ASSERT_EQ(Info("f0", &info), SAR_OK);
  EXPECT_EQ(info.FileSize, 1024u) << "1088 is reported as 1024";
  ASSERT_EQ(Info("f19", &info), SAR_OK);
  EXPECT_EQ(info.FileSize, 8u);
}

TEST_F(FileTest, LargestFileFitsAndOneMoreByteIsRefusedBeforeTheCard) {
  ASSERT_EQ(Create("largest", 32768), SAR_OK);
  char name[] = "largest";
  const Bytes tail(16, 0x5A);
  ASSERT_EQ(SKF(SKF_WriteFile)(app_, name, 32768 - 16, const_cast<BYTE *>(tail.data()), 16),
            SAR_OK);
  Bytes back(16);
  ULONG length = 16;
  ASSERT_EQ(SKF(SKF_ReadFile)(app_, name, 32768 - 16, 16, back.data(), &length), SAR_OK);
  EXPECT_EQ(back, tail);
  const std::uint64_t before = vkey::Commands(key_);
  EXPECT_EQ(Create("big", 32769), SAR_FAIL);
  EXPECT_EQ(vkey::Commands(key_), before);
}

// A hostile card: all 20 records live, each name filling its field (and the byte after it)
// without a NUL. The list holds every name as far as the field goes, nothing past it.
TEST_F(FileTest, NamesWithoutTheirNulFillTheListAndNoMore) {
  Bytes table(kFileTableSize, 0);
  std::string expected;
  for (std::size_t i = 0; i < 20; ++i) {
    const std::size_t at = FileRecordAt(i);
    table[at] = 1;
    table[at + 1] = 1;
    std::memset(&table[at + 2], 'a' + static_cast<int>(i), 34);
    expected += std::string(33, static_cast<char>('a' + i)) + '\0';
  }
  expected += '\0';
  vkey::RawCard raw(key_);
  WriteFile(raw, {kApp, 0xEF02}, table);
  ULONG size = 0;
  ASSERT_EQ(SKF(SKF_EnumFiles)(app_, nullptr, &size), SAR_OK);
  EXPECT_EQ(size, expected.size() + 1);
  std::string list(expected.size() + 16, 'x');
  size = static_cast<ULONG>(list.size());
  ASSERT_EQ(SKF(SKF_EnumFiles)(app_, list.data(), &size), SAR_OK);
  ASSERT_EQ(size, expected.size());
  EXPECT_EQ(list.substr(0, size), expected);
  EXPECT_EQ(list.substr(size), std::string(16, 'x'));
}

// An application with a file area DF EA: its file table comes first, the application DF's
// own second; listing sees the file area only.
TEST_F(FileTest, TheFileAreaComesFirst) {
  ASSERT_EQ(Create("outer", 16), SAR_OK);
  char outer[] = "outer", inner[] = "inner";
  const Bytes outer_data(16, 0x0A);
  ASSERT_EQ(SKF(SKF_WriteFile)(app_, outer, 0, const_cast<BYTE *>(outer_data.data()), 16), SAR_OK);

  vkey::RawCard raw(key_);
  ASSERT_TRUE(raw.SelectPath({}));
  ASSERT_EQ(raw.Send({0x00, 0xA4, 0x01, 0x00, 0x02, 0xAD, 0x01}), 0x9000);
  ASSERT_TRUE(raw.Authenticate());
  const Bytes area = {0x80, 0xE0, 0x00, 0x01, 0x0D, 0xDF, 0xEA, 0x1C, 0,
                      0,    0,    0,    0,    0,    1,    0,    0,    0x0F};
  ASSERT_EQ(raw.Send(area), 0x9000);
  const Bytes table_ef = {0x80, 0xE0, 0x00, 0x03, 0x0D, 0xEF, 0x02, 0x06, 0,
                          0,    0,    0,    0,    0,    0,    0,    0,    0};
  ASSERT_EQ(raw.Send(table_ef), 0x9000);
  Bytes table(kFileTableSize, 0);
  table[0] = 1;
  table[1] = 1;
  PutText(table, 2, "inner");
  PutU32(table, 36, 16);
  ASSERT_TRUE(raw.WritePrefixed(table));
  const Bytes data_ef = {0x80, 0xE0, 0x00, 0x03, 0x0D, 0x00, 0x21, 0x00, 0x50,
                         0,    0,    0,    0,    0,    0,    0,    0,    0};
  ASSERT_EQ(raw.Send(data_ef), 0x9000);
  Bytes write = {0x00, 0xD6, 0x00, 0x00, 0x10};
  write.insert(write.end(), 16, 0x1B);
  ASSERT_EQ(raw.Send(write), 0x9000);

  EXPECT_EQ(List(), "inner" + std::string(2, '\0'));
  Bytes out(16);
  ULONG length = 16;
  ASSERT_EQ(SKF(SKF_ReadFile)(app_, inner, 0, 16, out.data(), &length), SAR_OK);
  EXPECT_EQ(out, Bytes(16, 0x1B));
  length = 16;
  ASSERT_EQ(SKF(SKF_ReadFile)(app_, outer, 0, 16, out.data(), &length), SAR_OK);
  EXPECT_EQ(out, outer_data) << "found in the application DF's own table";
  EXPECT_EQ(Create("third", 8), SAR_OK);
  EXPECT_EQ(List(), "inner" + std::string(1, '\0') + "third" + std::string(2, '\0'))
      << "created in the file area";
}

}  // namespace
