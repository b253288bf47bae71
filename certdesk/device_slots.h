// What the certificate tree lists: one DeviceSlot per device index, 16 CertPairs each, and the
// certificate that a command works on.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "certdesk/key_device.h"

namespace certdesk {

inline constexpr int kPairsPerSlot = kListedApplications * kListedContainers;
inline constexpr std::size_t kDeviceNameSize = 64;

// Pair j = application index × 4 + container index.
struct CertPair {
  HTREEITEM enc_item;
  HTREEITEM sign_item;
  std::int32_t enc_length;
  std::int32_t sign_length;
  std::uint8_t enc_der[kCertificateSize];
  std::uint8_t sign_der[kCertificateSize];
};

struct DeviceSlot {
  std::int32_t device_index;
  HTREEITEM root;
  CertPair pairs[kPairsPerSlot];
  char device_name[kDeviceNameSize];
};

// Rebuilt from nothing by each FillCertTree.
DeviceSlot *DeviceSlots();  // kListedKeys entries

enum class CertKind { kEncryption, kSigning };

struct CertRef {
  int slot;
  int pair;
  CertKind kind;
};

// The pair of a certificate item; false when `item` is no certificate of the table.
bool FindCertificate(HTREEITEM item, CertRef *found);
// The selected item of the tree when it is a certificate.
bool FindSelectedCertificate(HWND dialog, CertRef *found);

// Set just before a PIN dialog opens.
struct PinSelection {
  int slot;
  int pair;
};
PinSelection &SelectedForPin();

}  // namespace certdesk
