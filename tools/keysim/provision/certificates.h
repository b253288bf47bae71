// Test certificates for provisioned key pairs.
#pragma once

#include <memory>
#include <string>

#include "card_model.h"

namespace keysim::provision {

// A public key as read from the card: SM2 x || y, or RSA n and e (big-endian).
struct PublicKey {
  bool sm2 = true;
  Bytes sm2_xy;
  Bytes rsa_n, rsa_e;
};

// A throw-away test CA (one SM2 and one RSA issuer key, made on first use) that issues DER
// certificates with subject CN `cn` and a key usage for signing or for encryption. Serial
// numbers are 64 random bits, so that no two certificates of any keys share issuer and serial
// number (which is how certificate stores tell certificates apart).
class Issuer {
 public:
  Issuer();
  ~Issuer();
  bool certificate(const PublicKey &pub, const std::string &cn, bool signing, Bytes &der,
                   std::string *err);

 private:
  struct Keys;
  std::unique_ptr<Keys> keys_;
};

}  // namespace keysim::provision
