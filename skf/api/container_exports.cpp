// Container family: opening, closing, listing containers and their type queries.
#include "skf/api/container_directory.h"
#include "skf/api/export_util.h"

namespace {

constexpr std::size_t kContainerListSize = kMaxContainers * (kContainerNameMax + 1) + 1;

constexpr ULONG kTypeNone = 0;
constexpr ULONG kTypeRsa = 1;
constexpr ULONG kTypeEcc = 2;
constexpr std::uint32_t kKeyRsa1024 = 1;
constexpr std::uint32_t kKeyRsa2048 = 2;

ULONG TypeOfKey(std::uint32_t key_type) {
  if (key_type == 0) return kTypeNone;
  return key_type == kKeyRsa1024 || key_type == kKeyRsa2048 ? kTypeRsa : kTypeEcc;
}

// A type only once a key pair and the certificate of the same use are both present.
ULONG ContainerType(std::span<const std::uint8_t> entry) {
  const bool enc = GetU32(entry, kEncCertPresent) != 0 && GetU32(entry, kEncKeyPresent) != 0;
  const bool sign = GetU32(entry, kSignCertPresent) != 0 && GetU32(entry, kSignKeyPresent) != 0;
  if (!enc && !sign) return kTypeNone;
  return TypeOfKey(GetU32(entry, kKeyType));
}

// Reads the entry of a container handle; SAR_OK, SAR_INVALIDHANDLEERR or SAR_FAIL.
ULONG ReadEntryOf(HCONTAINER hContainer, const ULONG *out, ContainerDirectory &directory,
                  std::span<std::uint8_t> *entry) {
  const ContainerHandle *container = AsContainer(hContainer);
  if (!container || !container->hDev) return SAR_INVALIDHANDLEERR;
  if (!out) return SAR_INVALIDPARAMERR;
  return ReadContainerEntry(*container, directory, entry);
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_OpenContainer(HAPPLICATION hApplication, LPSTR szContainerName,
                               HCONTAINER *phContainer) {
  return RunExport("SKF_OpenContainer", [&]() -> ULONG {
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    if (!szContainerName || !phContainer) return SAR_INVALIDPARAMERR;
    if (!NameLengthOk(szContainerName, kContainerNameMax)) return SAR_NAMELENERR;
    if (!app->hDev) return SAR_INVALIDHANDLEERR;
    ContainerDirectory directory;
    if (!ReadContainerDirectory(app->hDev, app->AppId, directory)) return SAR_FAIL;
    const int j = FindContainer(directory, szContainerName);
    if (j < 0) return SAR_FAIL;
    ContainerHandle *handle = NewContainerHandle(ContainerIdOf(app->AppId, j), app->hDev);
    if (!handle) return SAR_FAIL;
    *phContainer = handle;
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_CloseContainer(HCONTAINER hContainer) {
  return RunExport("SKF_CloseContainer", [&]() -> ULONG {
    ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    *container = {kClosedId, nullptr};
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_EnumContainer(HAPPLICATION hApplication, LPSTR szContainerName, ULONG *pulSize) {
  return RunExport("SKF_EnumContainer", [&]() -> ULONG {
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app || !app->hDev) return SAR_INVALIDHANDLEERR;
    if (!pulSize) return SAR_INVALIDPARAMERR;
    ContainerDirectory directory;
    if (!ReadContainerDirectory(app->hDev, app->AppId, directory)) return SAR_FAIL;
    char list[kContainerListSize] = {};
    std::size_t used = 0;
    for (std::size_t j = 0; j < ContainerEntryCount(directory); ++j) {
      const std::string_view name = ContainerNameOf(ContainerEntry(directory, j));
      if (name.empty()) continue;
      name.copy(list + used, name.size());
      used += name.size() + 1;
    }
    return CopyNameList({list, used + 1}, szContainerName, pulSize);
  });
}

ULONG DEVAPI SKF_GetContianerType(HCONTAINER hContainer, ULONG *pulContainerType) {
  return RunExport("SKF_GetContianerType", [&]() -> ULONG {
    ContainerDirectory directory;
    std::span<std::uint8_t> entry;
    const ULONG read = ReadEntryOf(hContainer, pulContainerType, directory, &entry);
    if (read != SAR_OK) return read;
    *pulContainerType = ContainerType(entry);
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_GetContainerType(HCONTAINER hContainer, ULONG *pulContainerType) {
  return SKF_GetContianerType(hContainer, pulContainerType);
}

ULONG DEVAPI SKF_GetContianerProperty(HCONTAINER hContainer, ULONG *pulContainerProperty) {
  return RunExport("SKF_GetContianerProperty", [&]() -> ULONG {
    ContainerDirectory directory;
    std::span<std::uint8_t> entry;
    const ULONG read = ReadEntryOf(hContainer, pulContainerProperty, directory, &entry);
    if (read != SAR_OK) return read;
    *pulContainerProperty = TypeOfKey(GetU32(entry, kKeyType));
    return SAR_OK;
  });
}

}  // extern "C"
