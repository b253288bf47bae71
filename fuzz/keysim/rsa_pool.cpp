// Linked into the virtual-key fuzz programs with --wrap of keysim::cc::rsa_generate: the key
// pair of each size is made once and handed out again, since making one takes from tens of
// milliseconds (1024 bits) to a second (2048 bits) and the card answers every generation
// command with one.
#include <map>

#include "cardcrypto.h"

extern "C" bool __real__ZN6keysim2cc12rsa_generateEiRNS0_6RsaKeyE(int bits,
                                                                  keysim::cc::RsaKey &out);

extern "C" bool __wrap__ZN6keysim2cc12rsa_generateEiRNS0_6RsaKeyE(int bits,
                                                                  keysim::cc::RsaKey &out) {
  static std::map<int, keysim::cc::RsaKey> pool;
  auto it = pool.find(bits);
  if (it == pool.end()) {
    keysim::cc::RsaKey key;
    if (!__real__ZN6keysim2cc12rsa_generateEiRNS0_6RsaKeyE(bits, key)) return false;
    it = pool.emplace(bits, std::move(key)).first;
  }
  out = it->second;
  return true;
}
