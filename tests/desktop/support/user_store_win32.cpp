#include "tests/desktop/support/user_store.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

HCERTSTORE OpenMy() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY");
}

bool Same(const CERT_CONTEXT *context, const EncodedCertificate &der) {
  return context->cbCertEncoded == der.size() &&
         std::memcmp(context->pbCertEncoded, der.data(), der.size()) == 0;
}

}  // namespace

int CountInUserStore(const EncodedCertificate &der) {
  HCERTSTORE store = OpenMy();
  if (!store) return -1;
  int count = 0;
  for (const CERT_CONTEXT *c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;) {
    if (Same(c, der)) ++count;
  }
  CertCloseStore(store, 0);
  return count;
}

bool InUserStore(const EncodedCertificate &der) { return CountInUserStore(der) > 0; }

bool PutInUserStore(const EncodedCertificate &der) {
  HCERTSTORE store = OpenMy();
  if (!store) return false;
  const bool added =
      CertAddEncodedCertificateToStore(store, kEncoding, der.data(), static_cast<DWORD>(der.size()),
                                       CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added;
}

bool TakeFromUserStore(const EncodedCertificate &der) {
  HCERTSTORE store = OpenMy();
  if (!store) return false;
  // Collected first: a deletion in the middle of an enumeration upsets Wine's.
  std::vector<const CERT_CONTEXT *> copies;
  for (const CERT_CONTEXT *c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;) {
    if (Same(c, der)) copies.push_back(CertDuplicateCertificateContext(c));
  }
  for (const CERT_CONTEXT *c : copies) CertDeleteCertificateFromStore(c);
  // Wine's system store writes deletions back only when told to.
  CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  CertCloseStore(store, 0);
  return CountInUserStore(der) == 0;
}
