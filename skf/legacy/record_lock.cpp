#include "skf/legacy/record_lock.h"

#include <thread>

#include "platform/os/os.h"

namespace {

// A live holder copies for microseconds; one that takes longer is waited for this many rounds
// (the first ones yield, the others sleep 1 ms each), about 100 ms in all.
constexpr int kLockRounds = 200;
constexpr int kYieldRounds = 100;
constexpr std::uint32_t kSleepMs = 1;

}  // namespace

RecordLock::RecordLock(SharedKeyFileRecord &record) : record_(record) {
  const std::uint32_t self = os::CurrentProcessId();
  for (int i = 0; i < kLockRounds; ++i) {
    std::uint32_t holder = 0;
    held_ = record_.owner.compare_exchange_strong(holder, self, std::memory_order_acquire);
    if (!held_ && !os::ProcessAlive(holder) &&
        record_.owner.compare_exchange_strong(holder, self, std::memory_order_acquire)) {
      record_.m_keyfileInfo.szSN[0] = '\0';
      held_ = true;
    }
    if (held_) return;
    if (i < kYieldRounds) {
      std::this_thread::yield();
    } else {
      os::SleepMs(kSleepMs);
    }
  }
}

RecordLock::~RecordLock() {
  if (held_) record_.owner.store(0, std::memory_order_release);
}
