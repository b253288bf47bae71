#include "skf/api/state.h"

#include <cstring>
#include <mutex>

#include "skf/api/handle_registry.h"
#include "skf/card/secure_zero.h"

std::atomic<std::uint32_t> DevEventCancels{0};

namespace {

constexpr std::uint32_t kFirstApplication = 1;
constexpr int kPinSlotCount = 4;
constexpr int kUserSlotFirst = 0;
constexpr int kUserSlotOthers = 1;
constexpr int kAdminSlotFirst = 2;
constexpr int kAdminSlotOthers = 3;

struct DevAuthRecord {
  DEVHANDLE hDev;
  std::uint8_t flag;  // 1 = authenticated
};

std::mutex DevAuthLock;
DevAuthRecord DevAuthState = {nullptr, 0};

std::mutex PinSlotLock;
char PinCacheSlots[kPinSlotCount][kPinSlotSize] = {};

bool IsFirstApplication(std::uint32_t app_id) { return (app_id & 0xF) == kFirstApplication; }

char *SlotOf(PinSlot kind, std::uint32_t app_id) {
  const bool first = IsFirstApplication(app_id);
  if (kind == PinSlot::user) return PinCacheSlots[first ? kUserSlotFirst : kUserSlotOthers];
  return PinCacheSlots[first ? kAdminSlotFirst : kAdminSlotOthers];
}

}  // namespace

void SetDevAuth(DEVHANDLE device) {
  const std::lock_guard<std::mutex> guard(DevAuthLock);
  DevAuthState = {device, 1};
}

void ClearDevAuth() {
  const std::lock_guard<std::mutex> guard(DevAuthLock);
  DevAuthState = {nullptr, 0};
}

bool IsDevAuthenticated(DEVHANDLE device) {
  const std::lock_guard<std::mutex> guard(DevAuthLock);
  return device != nullptr && DevAuthState.hDev == device && DevAuthState.flag == 1;
}

void ReadPinSlot(PinSlot kind, std::uint32_t app_id, char out[kPinSlotSize]) {
  const std::lock_guard<std::mutex> guard(PinSlotLock);
  std::memcpy(out, SlotOf(kind, app_id), kPinSlotSize);
}

void FillPinSlot(PinSlot kind, std::uint32_t app_id, const char *pin, std::size_t max) {
  const std::size_t n = strnlen(pin, max < kPinSlotSize ? max : kPinSlotSize - 1);
  const std::lock_guard<std::mutex> guard(PinSlotLock);
  char *slot = SlotOf(kind, app_id);
  std::memset(slot, 0, kPinSlotSize);
  std::memcpy(slot, pin, n);
}

void ClearPinSlot(PinSlot kind, std::uint32_t app_id) {
  const std::lock_guard<std::mutex> guard(PinSlotLock);
  SecureZero(SlotOf(kind, app_id), kPinSlotSize);
}

void ClearPinSlots() {
  const std::lock_guard<std::mutex> guard(PinSlotLock);
  SecureZero(PinCacheSlots, sizeof PinCacheSlots);
}

ApplicationHandle *NewApplicationHandle(std::uint32_t app_id, DEVHANDLE device) {
  return NewRegistered<ApplicationHandle>(HandleKind::application, app_id, device);
}

ContainerHandle *NewContainerHandle(std::uint32_t container_id, DEVHANDLE device) {
  return NewRegistered<ContainerHandle>(HandleKind::container, container_id, device);
}
