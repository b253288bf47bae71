#include "platform/cardcmd/user_store.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <memory>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kSha1Size = 20;
// The mark is the certificate's description, "USBKey " and the reader name, as the property
// holds text (UTF-16 with its NUL). A property of the application's own range would be
// cleaner, but Wine's crypt32 keeps none.
constexpr DWORD kMarkProperty = CERT_DESCRIPTION_PROP_ID;
constexpr char kMarkPrefix[] = "USBKey ";

using Mark = std::vector<BYTE>;

struct StoreClose {
  void operator()(void *store) const { CertCloseStore(store, 0); }
};
using Store = std::unique_ptr<void, StoreClose>;
struct ContextFree {
  void operator()(const CERT_CONTEXT *context) const { CertFreeCertificateContext(context); }
};
using Context = std::unique_ptr<const CERT_CONTEXT, ContextFree>;

Store OpenUserStore() {
  return Store(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY"));
}

Mark MarkOf(const std::string &reader) {
  const std::string text = kMarkPrefix + reader;
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');  // with the NUL
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  const auto *bytes = reinterpret_cast<const BYTE *>(wide.data());
  return Mark(bytes, bytes + wide.size() * sizeof(wchar_t));
}

bool HasMark(const CERT_CONTEXT *context, const Mark &mark) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(context, kMarkProperty, nullptr, &size) ||
      size != mark.size()) {
    return false;
  }
  Mark found(size);
  return CertGetCertificateContextProperty(context, kMarkProperty, found.data(), &size) &&
         found == mark;
}

// The store's copy of the certificate, found by its SHA-1 hash.
Context FindInStore(HCERTSTORE store, const CERT_CONTEXT *certificate) {
  BYTE hash[kSha1Size] = {};
  DWORD size = sizeof hash;
  if (!CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash, &size)) {
    return nullptr;
  }
  CRYPT_HASH_BLOB blob{size, hash};
  return Context(
      CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SHA1_HASH, &blob, nullptr));
}

bool SetMark(const CERT_CONTEXT *context, const Mark &mark) {
  Mark value = mark;
  CRYPT_DATA_BLOB blob{static_cast<DWORD>(value.size()), value.data()};
  return CertSetCertificateContextProperty(context, kMarkProperty, 0, &blob);
}

// The mark of the first key of `present` that carries the certificate; empty when none does.
Mark HeirOf(const CERT_CONTEXT *context, const std::vector<KeyOnReader> &present) {
  const CertificateDer der(context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded);
  for (const KeyOnReader &key : present) {
    if (std::find(key.certificates.begin(), key.certificates.end(), der) !=
        key.certificates.end()) {
      return MarkOf(key.reader);
    }
  }
  return {};
}

// True when the certificate is in the store with the mark afterwards.
bool AddOne(HCERTSTORE store, const Mark &mark, const CertificateDer &der) {
  const Context certificate(
      CertCreateCertificateContext(kEncoding, der.data(), static_cast<DWORD>(der.size())));
  if (!certificate) return false;
  if (const Context existing = FindInStore(store, certificate.get())) {
    return HasMark(existing.get(), mark);
  }
  // Marked before it is added, so that the store takes certificate and mark in one step.
  return SetMark(certificate.get(), mark) &&
         CertAddCertificateContextToStore(store, certificate.get(), CERT_STORE_ADD_NEW, nullptr);
}

}  // namespace

int AddKeyCertificates(const std::string &reader, const std::vector<CertificateDer> &certificates) {
  const Store store = OpenUserStore();
  const Mark mark = MarkOf(reader);
  if (!store || mark.empty()) return -1;
  int count = 0;
  for (auto it = certificates.begin(); it != certificates.end(); ++it) {
    if (std::find(certificates.begin(), it, *it) != it) continue;  // counted once
    if (AddOne(store.get(), mark, *it)) ++count;
  }
  return count;
}

int RemoveKeyCertificates(const std::string &reader, const std::vector<KeyOnReader> &present) {
  const Store store = OpenUserStore();
  const Mark mark = MarkOf(reader);
  if (!store || mark.empty()) return -1;
  std::vector<const CERT_CONTEXT *> marked;
  for (const CERT_CONTEXT *context = nullptr;
       (context = CertEnumCertificatesInStore(store.get(), context)) != nullptr;) {
    if (HasMark(context, mark)) marked.push_back(CertDuplicateCertificateContext(context));
  }
  int removed = 0;
  bool handed_over = false;
  for (const CERT_CONTEXT *context : marked) {
    // A certificate another key present carries stays in the store on that key's account.
    if (const Mark heir = HeirOf(context, present); !heir.empty()) {
      handed_over = SetMark(context, heir) || handed_over;
      CertFreeCertificateContext(context);
    } else if (CertDeleteCertificateFromStore(context)) {  // frees the context either way
      ++removed;
    }
  }
  // Wine's system store writes deletions back only when told to, and a changed mark only when
  // forced to; Windows already has.
  if (removed > 0 || handed_over) {
    CertControlStore(store.get(), handed_over ? CERT_STORE_CTRL_COMMIT_FORCE_FLAG : 0,
                     CERT_STORE_CTRL_COMMIT, nullptr);
  }
  return removed;
}
