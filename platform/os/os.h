// Operating-system services of the libraries: module path, run-time loading, sleeping and
// named shared mappings. One implementation file per concern and platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace os {

// Windows: an HMODULE. POSIX: any address inside the module (resolved with dladdr).
using ModuleHandle = void *;
using LibraryHandle = void *;

// The module that holds `address` (Windows: its HMODULE; POSIX: the address itself).
ModuleHandle ModuleOf(const void *address);

// Writes the full file name of `module` into `out` with a NUL. Returns its length (0 when
// the system gives no name) or -1 when the name does not fit `out`.
int ModuleFileName(ModuleHandle module, std::span<char> out);

// Loads a library by path (Windows: LoadLibraryExA with LOAD_WITH_ALTERED_SEARCH_PATH);
// nullptr on failure.
LibraryHandle OpenLibrary(const char *path);
// The address of an exported name, or nullptr.
void *LibrarySymbol(LibraryHandle library, const char *name);
void CloseLibrary(LibraryHandle library);

void SleepMs(std::uint32_t milliseconds);

// This process's identifier.
std::uint32_t CurrentProcessId();
// Whether the process with this identifier still runs. POSIX: one that ended and waits for its
// parent to reap it counts as gone.
bool ProcessAlive(std::uint32_t id);

#if defined(_WIN32)
// Marks this process, until it ends, as a holder of `name` (a named event of the session, like
// the named mappings it guards). `prepare` runs in the first process to hold it while no other
// does; later holders wait until it has run (a bounded time, after which they run it
// themselves).
void HoldNamed(const char *name, void (*prepare)());
#else
// A named shared mapping (shm_open("/" + name)) that behaves as a shared section of a library:
// made with `size` zero bytes when missing, and emptied whenever a process maps it while no
// other process holds it. Once mapped it stays mapped and held until the process ends (its
// children made by fork hold it with it). nullptr when it cannot be had.
void *MapHeldSection(const char *name, std::size_t size);
#endif

// A lock that every process of the user's session opens by `name`: owned by one thread at a
// time, taken again at once by the thread that owns it (each taking given back once), and given
// up by the system when the owning thread or process ends without giving it back. Windows: a
// named mutex; POSIX: a robust mutex in shared memory of the user's own.
struct NamedLock;
// The lock `name` (letters, digits, '.' and '-'), made when missing; kept open until the process
// ends. nullptr when it cannot be had.
NamedLock *OpenNamedLock(const char *name);
// Takes the lock, waiting at most `timeout_ms`; false when it was not taken. POSIX: the wait is
// a cancellation point (platform/os/cancel.h).
bool TakeNamedLock(NamedLock *lock, std::uint32_t timeout_ms);
// Gives back one taking by this thread.
void GiveNamedLock(NamedLock *lock);
// While this thread owns the lock: how often it has been taken by a thread that did not own it
// already, over every process, since it was made.
std::uint64_t NamedLockTakings(const NamedLock *lock);

// A named shared mapping opened (never created) and mapped whole for reading and writing.
// Windows: OpenFileMappingA; POSIX: shm_open("/" + name). Closed on destruction.
class SharedMapping {
 public:
  explicit SharedMapping(const char *name);
  // The same, creating the mapping with `size` zero bytes when it does not exist yet. Only the
  // current user may open one made here (POSIX: mode 0600; Windows: a DACL that grants that
  // user alone). POSIX: one that exists is made at least that large.
  SharedMapping(const char *name, std::size_t size);
  ~SharedMapping();
  SharedMapping(const SharedMapping &) = delete;
  SharedMapping &operator=(const SharedMapping &) = delete;

  bool IsOpen() const { return view_ != nullptr; }
  // The mapped bytes; empty when the mapping could not be opened or mapped.
  std::span<std::uint8_t> View() const {
    return {static_cast<std::uint8_t *>(view_), view_ ? size_ : 0};
  }

 private:
  std::intptr_t handle_ = -1;  // HANDLE or file descriptor
  void *view_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace os
