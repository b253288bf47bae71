// A host thread that the test cancels with pthread_cancel (natively only: glibc unwinds a
// cancelled thread through the libraries).
#pragma once

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <functional>

class HostThread {
 public:
  explicit HostThread(std::function<void()> work);
  // Joins the thread if the test did not.
  ~HostThread();
  HostThread(const HostThread &) = delete;
  HostThread &operator=(const HostThread &) = delete;

  // Cancels the thread and joins it: success when it ended cancelled (PTHREAD_CANCELED) within
  // `limit`. A thread still running then is waited for all the same.
  ::testing::AssertionResult CancelledWithin(std::chrono::milliseconds limit);
  // Whether the thread's work has returned.
  bool Returned() const;
  // Whether it returns within `limit`, waiting until then; joined when it did.
  bool ReturnsWithin(std::chrono::milliseconds limit);
  void Join();

 private:
  static void *Run(void *self);

  std::function<void()> work_;
  std::atomic<bool> returned_{false};
  pthread_t thread_{};
  bool joined_ = false;
};
