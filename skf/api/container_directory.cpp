#include "skf/api/container_directory.h"

#include "skf/api/export_util.h"

std::string_view ContainerNameOf(std::span<const std::uint8_t> entry) {
  return FieldText(entry, kContainerName, kContainerNameMax);
}

int FindContainer(ContainerDirectory &directory, std::string_view name) {
  for (std::size_t j = 0; j < ContainerEntryCount(directory); ++j) {
    if (ContainerNameOf(ContainerEntry(directory, j)) == name) return static_cast<int>(j);
  }
  return -1;
}

std::uint32_t ContainerIdOf(std::uint32_t app_id, int index) {
  return kContainerIdBase + 16 * AppNumber(app_id) + static_cast<std::uint32_t>(index) + 1;
}

unsigned long ReadContainerEntry(const ContainerHandle &container, ContainerDirectory &directory,
                                 std::span<std::uint8_t> *entry) {
  if (!ReadContainerDirectory(container.hDev, AppIdOfContainer(container.ContainerId), directory)) {
    return SAR_FAIL;
  }
  const std::uint32_t j = ContainerIndex(container.ContainerId);
  if (j >= ContainerEntryCount(directory)) return SAR_FAIL;
  *entry = ContainerEntry(directory, j);
  return SAR_OK;
}
