// Host threads cancelled inside the libraries. glibc's pthread_cancel unwinds the thread with the
// exception abi::__forced_unwind, which must go on through every export to the host: a
// catch-all rethrows it, and no destructor reaches a cancellation point (socket I/O, close,
// sleeps, waits) while a cancellation may be pending, since a destructor is noexcept and the
// process would end. mingw's winpthreads does not unwind: on Windows these add nothing.
#pragma once

#include <exception>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace os {

// Holds off the calling thread's cancellation while it lives; one asked for meanwhile is acted
// on at the next cancellation point after it.
class NoCancel {
 public:
#if defined(_WIN32)
  NoCancel() = default;
  ~NoCancel() {}
#else
  NoCancel() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old_); }
  ~NoCancel() { pthread_setcancelstate(old_, nullptr); }
#endif
  NoCancel(const NoCancel &) = delete;
  NoCancel &operator=(const NoCancel &) = delete;

#if !defined(_WIN32)
 private:
  int old_ = PTHREAD_CANCEL_ENABLE;
#endif
};

// A cancellation point: a pending cancellation is acted on here.
inline void CancellationPoint() {
#if !defined(_WIN32)
  pthread_testcancel();
#endif
}

// `work()`, or `failure` when it throws; a cancellation's unwind goes on to the caller.
template <typename R, typename F>
R Guarded(R failure, F &&work) {
  try {
    return work();
  } catch (...) {
#if defined(__GLIBC__)
    // The unwind has no C++ exception object (libstdc++ gives none for it), which tells it
    // from a thrown exception; catching abi::__forced_unwind by name would bind a reference to
    // that missing object.
    if (!std::current_exception()) throw;
#endif
    return failure;
  }
}

}  // namespace os
