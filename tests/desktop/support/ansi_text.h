// Texts as the programs under test hold them: UTF-8 in the test sources, in the ANSI code page
// of the run (936 under LC_ALL=zh_CN.GBK) through the system's own conversion.
#pragma once

#include <string>

namespace desktop {

std::string Ansi(const std::string &utf8);
std::string Utf8FromAnsi(const std::string &ansi);

}  // namespace desktop
