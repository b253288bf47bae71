// PC/SC backend: pcsc-lite natively, winscard on Windows. Each list call and each open key
// has a context of its own. pcsc-lite's calls are no place for a thread's cancellation: one
// cancelled inside them leaves the context's lock taken and every later call on it waiting, so
// each function here holds cancellation off, and readerio's exports act on it between calls.
#include <cstring>
#include <mutex>

#include "backends.h"
#include "descriptor.h"
#include "platform/os/cancel.h"
#include "readerio.h"

#ifdef _WIN32
#define RIO_SCardListReaders SCardListReadersA
#define RIO_SCardGetStatusChange SCardGetStatusChangeA
#define RIO_SCardConnect SCardConnectA
#define RIO_SCardStatus SCardStatusA
using ReaderState = SCARD_READERSTATEA;
#else
#include <PCSC/reader.h>
#define RIO_SCardListReaders SCardListReaders
#define RIO_SCardGetStatusChange SCardGetStatusChange
#define RIO_SCardConnect SCardConnect
#define RIO_SCardStatus SCardStatus
using ReaderState = SCARD_READERSTATE;
#endif

namespace readerio {

namespace {

// Largest answer buffer: 65536 data bytes and the status word.
constexpr DWORD kRecvMax = 65536 + 2;
// M when the reader does not tell: a short command's 255 data bytes and its header.
constexpr uint32_t kDefaultMaxData = 261;
constexpr size_t kAtrMax = 33;

// pcsc-lite's client library shares its copy of the reader states between contexts without
// a lock of its own: listing, connecting and status queries take this one.
std::mutex state_lock;

// A context that is released when it goes out of scope unless kept.
struct Context {
  SCARDCONTEXT ctx = 0;
  bool ok = false;
  Context() {
    ok = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &ctx) == SCARD_S_SUCCESS;
  }
  ~Context() {
    if (ok) SCardReleaseContext(ctx);
  }
  SCARDCONTEXT keep() {
    ok = false;
    return ctx;
  }
};

std::vector<std::string> all_readers(SCARDCONTEXT ctx) {
  DWORD len = 0;
  if (RIO_SCardListReaders(ctx, nullptr, nullptr, &len) != SCARD_S_SUCCESS || len == 0) return {};
  std::string buf(len, '\0');
  if (RIO_SCardListReaders(ctx, nullptr, buf.data(), &len) != SCARD_S_SUCCESS) return {};
  buf.resize(len <= buf.size() ? len : buf.size());
  std::vector<std::string> names;
  for (size_t i = 0; i < buf.size() && buf[i];) {
    size_t end = buf.find('\0', i);
    if (end == std::string::npos) end = buf.size();
    names.emplace_back(buf.substr(i, end - i));
    i = end + 1;
  }
  return names;
}

const SCARD_IO_REQUEST *pci_of(DWORD protocol) {
  return protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
}

uint32_t atr_of(Device &dev, Bytes &atr) {
  char name[512];
  DWORD name_len = sizeof name, state = 0, protocol = 0;
  BYTE buf[kAtrMax];
  DWORD atr_len = sizeof buf;
  std::lock_guard g(state_lock);
  if (RIO_SCardStatus(dev.pcsc.card, name, &name_len, &state, &protocol, buf, &atr_len) !=
      SCARD_S_SUCCESS)
    return READERIO_SW_REMOVED;
  atr.assign(buf, buf + (atr_len <= sizeof buf ? atr_len : sizeof buf));
  return READERIO_SW_OK;
}

}  // namespace

void pcsc_list(std::vector<std::string> &names) {
  const os::NoCancel hold;
  std::lock_guard g(state_lock);
  Context c;
  if (!c.ok) return;
  std::vector<std::string> readers = all_readers(c.ctx);
  if (readers.empty()) return;
  std::vector<ReaderState> states(readers.size());
  for (size_t i = 0; i < readers.size(); ++i) {
    states[i].szReader = readers[i].c_str();
    states[i].dwCurrentState = SCARD_STATE_UNAWARE;
  }
  if (RIO_SCardGetStatusChange(c.ctx, 0, states.data(), DWORD(states.size())) != SCARD_S_SUCCESS)
    return;
  for (size_t i = 0; i < readers.size(); ++i)
    if ((states[i].dwEventState & SCARD_STATE_PRESENT) &&
        !(states[i].dwEventState & SCARD_STATE_MUTE) && readers[i].size() <= READERIO_MAX_NAME)
      names.push_back(readers[i]);
}

uint32_t pcsc_open(std::string_view reader, Device &dev) {
  const os::NoCancel hold;
  std::lock_guard g(state_lock);
  Context c;
  if (!c.ok) return READERIO_SW_NO_READER;
  std::string name(reader);
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  LONG rc = RIO_SCardConnect(c.ctx, name.c_str(), SCARD_SHARE_SHARED,
                             SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
  if (rc != SCARD_S_SUCCESS) return READERIO_SW_NO_READER;
  dev.backend = Backend::pcsc;
  dev.pcsc.context = c.keep();
  dev.pcsc.card = card;
  dev.pcsc.protocol = protocol;
  dev.pcsc.connected = true;
  return READERIO_SW_OK;
}

uint32_t pcsc_transmit(Device &dev, std::span<const uint8_t> command, Bytes &data, uint16_t &sw) {
  const os::NoCancel hold;
  if (!dev.pcsc.connected) return READERIO_SW_REMOVED;
  Bytes buf(kRecvMax);
  DWORD len = kRecvMax;
  LONG rc = SCardTransmit(dev.pcsc.card, pci_of(dev.pcsc.protocol), command.data(),
                          DWORD(command.size()), nullptr, buf.data(), &len);
  if (rc == SCARD_W_REMOVED_CARD || rc == SCARD_E_NO_SMARTCARD || rc == SCARD_E_READER_UNAVAILABLE)
    return READERIO_SW_REMOVED;
  if (rc != SCARD_S_SUCCESS || len < 2 || len > kRecvMax) return READERIO_SW_COMM;
  sw = uint16_t(buf[len - 2] << 8 | buf[len - 1]);
  data.assign(buf.begin(), buf.begin() + (len - 2));
  return READERIO_SW_OK;
}

uint32_t pcsc_reset(Device &dev, Bytes &atr) {
  const os::NoCancel hold;
  if (!dev.pcsc.connected) return READERIO_SW_REMOVED;
  DWORD protocol = 0;
  std::unique_lock g(state_lock);
  if (SCardReconnect(dev.pcsc.card, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                     SCARD_RESET_CARD, &protocol) != SCARD_S_SUCCESS)
    return READERIO_SW_REMOVED;
  dev.pcsc.protocol = protocol;
  g.unlock();
  return atr_of(dev, atr);
}

uint32_t pcsc_descriptor(Device &dev, std::string &text) {
  const os::NoCancel hold;
  if (!dev.pcsc.connected) return READERIO_SW_REMOVED;
  Bytes atr;
  uint32_t st = atr_of(dev, atr);
  if (st != READERIO_SW_OK) return st;
  text = pcsc_descriptor(dev.reader, atr);
  return READERIO_SW_OK;
}

uint32_t pcsc_max_data(Device &dev, uint32_t &m) {
  const os::NoCancel hold;
  if (!dev.pcsc.connected) return READERIO_SW_REMOVED;
  m = kDefaultMaxData;
#ifdef SCARD_ATTR_MAXINPUT
  uint8_t value[4] = {};
  DWORD len = sizeof value;
  if (SCardGetAttrib(dev.pcsc.card, SCARD_ATTR_MAXINPUT, value, &len) == SCARD_S_SUCCESS &&
      len == 4) {
    uint32_t v;
    std::memcpy(&v, value, 4);
    if (v >= kDefaultMaxData) m = v;
  }
#endif
  return READERIO_SW_OK;
}

void pcsc_close(Device &dev) {
  const os::NoCancel hold;
  std::lock_guard g(state_lock);
  if (dev.pcsc.connected) SCardDisconnect(dev.pcsc.card, SCARD_LEAVE_CARD);
  if (dev.pcsc.context) SCardReleaseContext(dev.pcsc.context);
  dev.pcsc = PcscLink{};
}

}  // namespace readerio
