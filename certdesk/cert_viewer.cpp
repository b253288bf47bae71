#include "certdesk/cert_viewer.h"

#include <wincrypt.h>
#include <cryptuiapi.h>

#include "certdesk/bind_by_name.h"
#include "certdesk/device_slots.h"
#include "certdesk/texts.h"
#include "platform/os/i686_size.h"

namespace certdesk {

static_assert(IsI686Size(sizeof(CRYPTUI_VIEWCERTIFICATE_STRUCTA), 72));

void ViewCertificate(HWND dialog, HTREEITEM item) {
  CertRef ref{};
  if (item ? !FindCertificate(item, &ref) : !FindSelectedCertificate(dialog, &ref)) return;
  const CertPair &pair = DeviceSlots()[ref.slot].pairs[ref.pair];
  const bool enc = ref.kind == CertKind::kEncryption;
  PCCERT_CONTEXT context = CertCreateCertificateContext(
      X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, enc ? pair.enc_der : pair.sign_der,
      static_cast<DWORD>(enc ? pair.enc_length : pair.sign_length));
  if (!context) return;
  HMODULE cryptui = LoadLibraryA("cryptui");
  decltype(&CryptUIDlgViewCertificateA) view = nullptr;
  if (cryptui && BindName(cryptui, "CryptUIDlgViewCertificateA", view)) {
    HCERTSTORE store = context->hCertStore;
    CRYPTUI_VIEWCERTIFICATE_STRUCTA info{};
    info.dwSize = sizeof info;
    info.hwndParent = dialog;
    info.szTitle = kMainCaption;
    info.pCertContext = context;
    info.cStores = 1;
    info.rghStores = &store;
    view(&info, nullptr);
  }
  if (cryptui) FreeLibrary(cryptui);
  CertFreeCertificateContext(context);
}

}  // namespace certdesk
