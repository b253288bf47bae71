#include "skf/crypto/retail_mac.h"

#include <cstring>

#include "skf/crypto/des.h"

int DES_RetailMac(const uint8_t *msg, int len, uint8_t mac[4], const uint8_t key[16],
                  uint8_t flag) {
  if (mac == nullptr) return -1;
  std::memset(mac, 0, kRetailMacSize);
  if (key == nullptr || len < 0 || len > kRetailMacMaxMessage || (len > 0 && msg == nullptr)) {
    return -1;
  }
  uint8_t work[kRetailMacMaxMessage] = {};
  if (len > 0) std::memcpy(work, msg, static_cast<size_t>(len));
  const uint8_t *k1 = key;
  const uint8_t *k2 = key + kDesKeySize;

  uint8_t chain[kDesBlockSize];
  std::memcpy(chain, work, kDesBlockSize);
  const int blocks = len / kDesBlockSize;
  for (int i = 1; i < blocks; ++i) {
    uint8_t x[kDesBlockSize];
    for (int j = 0; j < kDesBlockSize; ++j) x[j] = work[i * kDesBlockSize + j] ^ chain[j];
    DES_EncryptBlock(x, chain, k1);
  }
  if (flag == 0) {
    uint8_t t[kDesBlockSize];
    DES_DecryptBlock(chain, t, k2);
    DES_EncryptBlock(t, chain, k1);
  }
  std::memcpy(mac, chain, kRetailMacSize);
  return 0;
}
