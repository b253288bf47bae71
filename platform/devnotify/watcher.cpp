#include "platform/devnotify/watcher.h"

#include <dbt.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/devnotify/broadcast.h"
#include "platform/devnotify/known_readers.h"

namespace {

constexpr DWORD kPollMs = 250;               // an arrival is seen within a second
constexpr UINT kEventsWaiting = WM_APP + 1;  // to the relay: events are queued

struct Event {
  WPARAM type;  // DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE
  std::string reader;
};

// What the watcher thread owns; freed by it when it ends.
struct ThreadArgs {
  HANDLE stop;
  HWND relay;
  HMODULE self;  // a reference that keeps the library loaded while the thread runs
  std::vector<std::string> present;
};

// One registration per process. `state` guards the fields below it; `delivery` is held while
// the relay sends, so that a stop from another thread waits for a message under way.
std::mutex control;  // serialises start and stop
std::mutex state;
std::recursive_mutex delivery;
bool active = false;
HWND target = nullptr;
HWND relay_window = nullptr;
std::deque<Event> events;
HANDLE watcher = nullptr;
HANDLE stop_event = nullptr;
WNDPROC static_proc = nullptr;  // the system's procedure of the relay's class

bool Contains(const std::vector<std::string> &names, const std::string &name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Queues the changes from `before` to `now`: removals first, then arrivals. False when none.
bool QueueChanges(const std::vector<std::string> &before, const std::vector<std::string> &now) {
  const std::lock_guard guard(state);
  if (!active) return false;
  const std::size_t queued = events.size();
  for (const auto &name : before) {
    if (!Contains(now, name)) events.push_back({DBT_DEVICEREMOVECOMPLETE, name});
  }
  for (const auto &name : now) {
    if (!Contains(before, name)) events.push_back({DBT_DEVICEARRIVAL, name});
  }
  return events.size() > queued;
}

DWORD WINAPI Watch(void *argument) {
  ThreadArgs *args = static_cast<ThreadArgs *>(argument);
  while (WaitForSingleObject(args->stop, kPollMs) == WAIT_TIMEOUT) {
    try {
      std::vector<std::string> now = ListKeyReaders();
      if (QueueChanges(args->present, now)) PostMessageA(args->relay, kEventsWaiting, 0, 0);
      args->present = std::move(now);
    } catch (...) {
      // Out of memory: this poll is lost, the next one sees the change.
    }
  }
  const HMODULE self = args->self;
  delete args;
  FreeLibraryAndExitThread(self, 0);
}

// On the relay's thread: hands the queued events to the window, one WM_DEVICECHANGE each.
void Deliver(HWND relay) {
  for (;;) {
    const std::lock_guard sending(delivery);
    Event event;
    HWND window = nullptr;
    {
      const std::lock_guard guard(state);
      if (!active || relay != relay_window || events.empty()) return;
      event = std::move(events.front());
      events.pop_front();
      window = target;
    }
    InterfaceRecord record;
    FormInterfaceRecord(event.reader, record);
    SendMessageA(window, WM_DEVICECHANGE, event.type, reinterpret_cast<LPARAM>(record.bytes));
  }
}

LRESULT CALLBACK RelayProc(HWND relay, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kEventsWaiting) {
    Deliver(relay);
    return 0;
  }
  return CallWindowProcA(static_proc, relay, message, wparam, lparam);
}

// A message-only window of a system class, so that no class of this library outlives it.
HWND CreateRelay() {
  HWND relay =
      CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (!relay) return nullptr;
  static_proc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(relay, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RelayProc)));
  return relay;
}

// Only its own thread destroys a window. From another thread the relay gets its system
// procedure back, so nothing of this library is left in it, and closes when its thread next
// takes messages (it is gone already when that thread has ended).
void CloseRelay(HWND relay) {
  if (GetWindowThreadProcessId(relay, nullptr) == GetCurrentThreadId()) {
    DestroyWindow(relay);
    return;
  }
  SetWindowLongPtrA(relay, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(static_proc));
  PostMessageA(relay, WM_CLOSE, 0, 0);
}

// The window and relay of a registration; active while both are set.
void SetTarget(HWND window, HWND relay) {
  const std::lock_guard guard(state);
  active = window != nullptr;
  target = window;
  relay_window = relay;
  events.clear();
}

void StopLocked() {
  if (!watcher) return;
  HWND relay = nullptr;
  {
    const std::lock_guard sending(delivery);
    {
      const std::lock_guard guard(state);
      relay = relay_window;
    }
    SetTarget(nullptr, nullptr);
  }
  SetEvent(stop_event);
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  CloseHandle(stop_event);
  watcher = stop_event = nullptr;
  CloseRelay(relay);
}

}  // namespace

bool StartWatching(HWND window) {
  if (!IsWindow(window)) return false;
  const std::lock_guard guard(control);
  StopLocked();
  auto args = std::make_unique<ThreadArgs>(ThreadArgs{nullptr, nullptr, nullptr, ListKeyReaders()});
  args->relay = CreateRelay();
  args->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const bool referenced = GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                             reinterpret_cast<LPCSTR>(&Watch), &args->self);
  if (args->relay && args->stop && referenced) {
    SetTarget(window, args->relay);
    if (HANDLE thread = CreateThread(nullptr, 0, Watch, args.get(), 0, nullptr)) {
      watcher = thread;
      stop_event = args->stop;
      args.release();  // the thread's now
      return true;
    }
    SetTarget(nullptr, nullptr);
  }
  if (args->relay) DestroyWindow(args->relay);
  if (args->stop) CloseHandle(args->stop);
  if (referenced) FreeLibrary(args->self);
  return false;
}

void StopWatching() {
  const std::lock_guard guard(control);
  StopLocked();
}
