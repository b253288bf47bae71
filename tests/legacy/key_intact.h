// Whether a provisioned key came out of several processes' work intact: its device directory
// and the containers' four certificates read raw through readerio (not through the libraries)
// before and after, and the key used through tokencore afterwards.
#pragma once

#include <string>
#include <vector>

#include "host_library.h"
#include "virtual_key.h"

namespace legacytest {

struct KeyImage {
  vkey::Bytes device_directory;
  std::vector<vkey::Bytes> certificates;  // DF11 and DF12, each its EF01 and EF02
};

// The key in `reader`, of either backend; parts that cannot be read are left empty.
KeyImage ReadKeyImage(const std::string &reader);
// A line for each part that differs; none when the images are the same.
std::vector<std::string> Differences(const KeyImage &before, const KeyImage &after);

// The names `list` (SKF_EnumContainer, SKF_EnumFiles) gives for `app`, '|' for each NUL; the
// result's name in brackets when it fails.
using NameLister = ULONG(DEVAPI *)(HAPPLICATION, LPSTR, ULONG *);
std::string NameList(NameLister list, HAPPLICATION app);

// Through tokencore, with gtest expectations: the application opens with its PIN record at the
// limit (before any PIN is verified), its containers and files are listed as `files` says
// ('|' for each NUL), the right PIN is taken and both containers' keys sign.
void ExpectKeyWorks(const std::string &reader, const std::string &files);

}  // namespace legacytest
