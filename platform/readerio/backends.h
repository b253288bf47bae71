// The two backends behind the exports. Every function returns READERIO_SW_OK when the
// operation went through (for transmit: the card's status word is in sw), else 0xFFxx.
// The caller holds dev.lock.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device.h"

namespace readerio {

using Bytes = std::vector<uint8_t>;

// Names of the readers with a key present, appended to names.
void pcsc_list(std::vector<std::string> &names);
uint32_t pcsc_open(std::string_view reader, Device &dev);
uint32_t pcsc_transmit(Device &dev, std::span<const uint8_t> command, Bytes &data, uint16_t &sw);
uint32_t pcsc_reset(Device &dev, Bytes &atr);
uint32_t pcsc_descriptor(Device &dev, std::string &text);
uint32_t pcsc_max_data(Device &dev, uint32_t &m);
void pcsc_close(Device &dev);

bool keysim_reader(std::string_view reader);  // a name of the virtual-key backend
void keysim_list(std::vector<std::string> &names);
uint32_t keysim_open(std::string_view reader, Device &dev);
uint32_t keysim_transmit(Device &dev, std::span<const uint8_t> command, Bytes &data, uint16_t &sw);
uint32_t keysim_reset(Device &dev, Bytes &atr);
uint32_t keysim_descriptor(Device &dev, std::string &text);
uint32_t keysim_max_data(Device &dev, uint32_t &m);
void keysim_close(Device &dev);

}  // namespace readerio
