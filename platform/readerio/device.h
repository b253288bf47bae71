// One open key: the record behind a readerio handle. Each open makes its own record; a
// record's mutex serialises the calls made on it from several threads.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#ifdef _WIN32
#include <winscard.h>
#else
#include <PCSC/winscard.h>
#endif

#include "net.h"

namespace readerio {

enum class Backend { pcsc, keysim };

struct PcscLink {
  SCARDCONTEXT context = 0;
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  bool connected = false;
};

struct KeysimLink {
  keysim::net::Socket socket;
  uint32_t key = 0;
  uint32_t generation = 0;
  std::string address;  // keysimd's, as KEYSIM_ADDR gave it at the open
};

struct Device {
  std::mutex lock;
  Backend backend = Backend::pcsc;
  std::string reader;  // as listed
  PcscLink pcsc;
  KeysimLink keysim;
};

// Handle registry: a handle is a number that names a live record, so a stale or made-up
// handle is refused instead of followed.
void *register_device(std::shared_ptr<Device> dev);
std::shared_ptr<Device> find_device(void *handle);
std::shared_ptr<Device> release_device(void *handle);

}  // namespace readerio
