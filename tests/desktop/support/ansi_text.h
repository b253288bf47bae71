// Texts as the programs under test hold them: UTF-8 in the test sources, turned into the ANSI
// code page of the run (936 under LC_ALL=zh_CN.GBK) by the system's own conversion.
#pragma once

#include <string>

namespace desktest {

std::string Ansi(const char *utf8);
std::string Utf8(const std::string &ansi);

}  // namespace desktest
