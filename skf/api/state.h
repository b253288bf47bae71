// Process-wide state of the exports and the handle records they hand out.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "skf/card/readerio_api.h"

// The device that last passed device authentication, one for the process; read and written
// under a lock of its own.
void SetDevAuth(DEVHANDLE device);
void ClearDevAuth();
bool IsDevAuthenticated(DEVHANDLE device);

// The cancels of event waits so far, counted by SKF_CancelWaitForDevEvent from any thread. A
// wait notes the count when it begins and ends once it has moved: a cancel ends every wait
// begun before it and none begun after it.
extern std::atomic<std::uint32_t> DevEventCancels;

// PIN slots: user PIN of application 1, user PIN of applications 2 to 8, then the same two
// for the administrator PIN. Each a NUL-terminated text or all zeros. One set for the process,
// read and written under a lock of its own, so that no thread sees half a PIN.
inline constexpr std::size_t kPinSlotSize = 32;
enum class PinSlot { user, admin };
// A copy of the slot of the application with DF identifier `app_id` (all zeros when empty).
void ReadPinSlot(PinSlot kind, std::uint32_t app_id, char out[kPinSlotSize]);
// The slot holds the first `max` characters of `pin` (max below kPinSlotSize).
void FillPinSlot(PinSlot kind, std::uint32_t app_id, const char *pin, std::size_t max);
void ClearPinSlot(PinSlot kind, std::uint32_t app_id);
void ClearPinSlots();

// Handle records: made by create and open, never freed; close marks them dead.
inline constexpr std::uint32_t kClosedId = 0xFF;

struct ApplicationHandle {
  std::uint32_t AppId;  // 0xAD00 + application number (1..8)
  DEVHANDLE hDev;
};

struct ContainerHandle {
  std::uint32_t ContainerId;  // 0xDF00 + 16 x application number + container number (1..8)
  DEVHANDLE hDev;
};

// The one maker of each record kind: a new registered record, nullptr when the heap is
// exhausted.
ApplicationHandle *NewApplicationHandle(std::uint32_t app_id, DEVHANDLE device);
ContainerHandle *NewContainerHandle(std::uint32_t container_id, DEVHANDLE device);
