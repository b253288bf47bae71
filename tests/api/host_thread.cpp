#include "host_thread.h"

#include <time.h>

#include <thread>
#include <utility>

HostThread::HostThread(std::function<void()> work) : work_(std::move(work)) {
  if (pthread_create(&thread_, nullptr, Run, this) != 0) {
    ADD_FAILURE() << "no thread";
    joined_ = true;
  }
}

HostThread::~HostThread() { Join(); }

void HostThread::Join() {
  if (!joined_) pthread_join(thread_, nullptr);
  joined_ = true;
}

void *HostThread::Run(void *self) {
  auto *t = static_cast<HostThread *>(self);
  t->work_();
  t->returned_ = true;
  return nullptr;
}

bool HostThread::Returned() const { return returned_; }

bool HostThread::ReturnsWithin(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!returned_ && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (returned_) Join();
  return returned_;
}

::testing::AssertionResult HostThread::CancelledWithin(std::chrono::milliseconds limit) {
  if (joined_) return ::testing::AssertionFailure() << "no thread";
  pthread_cancel(thread_);
  timespec until{};
  clock_gettime(CLOCK_REALTIME, &until);
  const long long ns = until.tv_nsec + limit.count() * 1000000LL;
  until.tv_sec += static_cast<time_t>(ns / 1000000000LL);
  until.tv_nsec = static_cast<long>(ns % 1000000000LL);
  void *result = nullptr;
  const bool in_time = pthread_timedjoin_np(thread_, &result, &until) == 0;
  if (!in_time) pthread_join(thread_, &result);
  joined_ = true;
  if (!in_time) {
    return ::testing::AssertionFailure()
           << "still running " << limit.count() << " ms after its cancellation";
  }
  if (result != PTHREAD_CANCELED) return ::testing::AssertionFailure() << "returned uncancelled";
  return ::testing::AssertionSuccess();
}
