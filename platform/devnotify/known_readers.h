// The reader names that devnotify's notifications carry: every name it has seen in readerio's
// list of readers with a key. QX_IsQXDevice recognises exactly these.
#pragma once

#include <string>
#include <vector>

// The readers with a key now, each remembered as known.
std::vector<std::string> ListKeyReaders();
// A name seen before, or one of a reader with a key now.
bool IsKeyReader(const std::string &name);
