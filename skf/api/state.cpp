#include "skf/api/state.h"

#include "skf/api/handle_registry.h"

DevAuthRecord DevAuthState = {nullptr, 0};
std::atomic<std::uint32_t> DevEventWaitFlag{0};
char PinCacheSlots[kPinSlotCount][kPinSlotSize] = {};

namespace {
constexpr std::uint32_t kFirstApplication = 1;
constexpr int kUserSlotFirst = 0;
constexpr int kUserSlotOthers = 1;
constexpr int kAdminSlotFirst = 2;
constexpr int kAdminSlotOthers = 3;

bool IsFirstApplication(std::uint32_t app_id) { return (app_id & 0xF) == kFirstApplication; }
}  // namespace

void ClearDevAuth() { DevAuthState = {nullptr, 0}; }

bool IsDevAuthenticated(DEVHANDLE device) {
  return device != nullptr && DevAuthState.hDev == device && DevAuthState.flag == 1;
}

char *UserPinSlot(std::uint32_t app_id) {
  return PinCacheSlots[IsFirstApplication(app_id) ? kUserSlotFirst : kUserSlotOthers];
}

char *AdminPinSlot(std::uint32_t app_id) {
  return PinCacheSlots[IsFirstApplication(app_id) ? kAdminSlotFirst : kAdminSlotOthers];
}

ApplicationHandle *NewApplicationHandle(std::uint32_t app_id, DEVHANDLE device) {
  return NewRegistered<ApplicationHandle>(HandleKind::application, app_id, device);
}

ContainerHandle *NewContainerHandle(std::uint32_t container_id, DEVHANDLE device) {
  return NewRegistered<ContainerHandle>(HandleKind::container, container_id, device);
}
