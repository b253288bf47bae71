#include "tests/desktop/support/provisioned_certificates.h"

#include "virtual_key.h"

std::vector<EncodedCertificate> ProvisionedCertificates(const std::string &key) {
  std::vector<EncodedCertificate> certificates;
  vkey::RawCard card(key);
  if (!card.IsOpen()) return certificates;
  for (const std::uint16_t container : {0xDF11, 0xDF12}) {
    for (const std::uint16_t file : {0xEF01, 0xEF02}) {
      if (!card.SelectPath({0xAD01, container, file})) continue;
      if (auto der = card.ReadPrefixed()) certificates.push_back(*der);
    }
  }
  return certificates;
}
