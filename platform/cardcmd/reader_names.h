// Names of the readers that hold a key, in readerio's order, through the card access layer's
// reader list. Shared by cardcmd (device indexes) and devnotify (notifications).
#pragma once

#include <string>
#include <vector>

// Empty when there is none or readerio cannot be bound. Safe to call from any thread.
std::vector<std::string> KeyReaderNames();
