// Container entries of an application's container directory.
#pragma once

#include <string_view>

#include "skf/api/directory.h"
#include "skf/api/state.h"

std::string_view ContainerNameOf(std::span<const std::uint8_t> entry);
// Index of the first entry with that name, or -1.
int FindContainer(ContainerDirectory &directory, std::string_view name);
// 0xDF00 + 16 x application number + entry index + 1.
std::uint32_t ContainerIdOf(std::uint32_t app_id, int index);
// MF, DF AD0x, EF01 and the directory; the entry of the handle. SAR_OK or SAR_FAIL.
unsigned long ReadContainerEntry(const ContainerHandle &container, ContainerDirectory &directory,
                                 std::span<std::uint8_t> *entry);
