// Waiting in a GUI test for a condition while this thread's windows get their messages.
#pragma once

#include <functional>

// Pumps this thread's messages until `done` holds or `timeout_ms` passed; the last `done`.
bool PumpMessagesUntil(const std::function<bool()> &done, unsigned timeout_ms);
// Pumps this thread's messages for `ms` milliseconds.
void PumpMessagesFor(unsigned ms);
