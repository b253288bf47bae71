#include "platform/os/os.h"

#include <windows.h>

namespace os {

namespace {

// A security descriptor whose DACL grants the current user alone every access to a mapping.
class UserOnly {
 public:
  UserOnly() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    const bool got = GetTokenInformation(token, TokenUser, user_, sizeof user_, &size);
    CloseHandle(token);
    if (!got) return;
    PSID sid = reinterpret_cast<const TOKEN_USER *>(user_)->User.Sid;
    auto *acl = reinterpret_cast<ACL *>(acl_);
    ready_ = InitializeAcl(acl, sizeof acl_, ACL_REVISION) &&
             AddAccessAllowedAce(acl, ACL_REVISION, SECTION_ALL_ACCESS, sid) &&
             InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
             SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
  }
  UserOnly(const UserOnly &) = delete;
  UserOnly &operator=(const UserOnly &) = delete;
  // nullptr when the descriptor could not be made.
  SECURITY_ATTRIBUTES *get() { return ready_ ? &attributes_ : nullptr; }

 private:
  alignas(TOKEN_USER) BYTE user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  alignas(ACL) BYTE acl_[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE] = {};
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  bool ready_ = false;
};

}  // namespace

SharedMapping::SharedMapping(const char *name) : SharedMapping(name, 0) {}

SharedMapping::SharedMapping(const char *name, std::size_t size) {
  HANDLE mapping = nullptr;
  if (size) {
    UserOnly user;
    // Made with its size in one step: a second process making it at once opens this one.
    if (user.get()) {
      mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, user.get(), PAGE_READWRITE, 0,
                                   static_cast<DWORD>(size), name);
    }
  } else {
    mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
  }
  if (!mapping) return;
  handle_ = reinterpret_cast<std::intptr_t>(mapping);
  void *view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  MEMORY_BASIC_INFORMATION region{};
  if (view && VirtualQuery(view, &region, sizeof region) == sizeof region && region.RegionSize) {
    view_ = view;
    size_ = region.RegionSize;
  } else if (view) {
    UnmapViewOfFile(view);
  }
}

SharedMapping::~SharedMapping() {
  if (view_) UnmapViewOfFile(view_);
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace os
