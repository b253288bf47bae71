// Certificates of a container: the signing certificate in EF02, the encryption one in EF01 of
// the container's DF.
#include <memory>

#include "skf/api/container_directory.h"
#include "skf/api/export_util.h"
#include "skf/card/files.h"

namespace {

struct CertificateSlot {
  std::uint16_t ef;
  std::size_t present;  // field of the container entry
};

CertificateSlot SlotOf(BOOL bSignFlag) {
  return bSignFlag ? CertificateSlot{kSignCertEf, kSignCertPresent}
                   : CertificateSlot{kEncCertEf, kEncCertPresent};
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_ImportCertificate(HCONTAINER hContainer, BOOL bSignFlag, BYTE *pbCert,
                                   ULONG ulCertLen) {
  return RunExport("SKF_ImportCertificate", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    if (!pbCert) return SAR_INVALIDPARAMERR;
    if (!container->hDev) return SAR_INVALIDHANDLEERR;
    const DEVHANDLE device = container->hDev;
    const std::uint32_t app_id = AppIdOfContainer(container->ContainerId);
    ContainerDirectory directory;
    std::span<std::uint8_t> entry;
    if (ReadContainerEntry(*container, directory, &entry) != SAR_OK) return SAR_FAIL;
    const CertificateSlot slot = SlotOf(bSignFlag);
    if (!SelectDf(device, container->ContainerId) || !SelectEf(device, slot.ef)) return SAR_FAIL;
    PutU32(entry, slot.present, 1);
    if (!WriteImageBytes(device, {pbCert, ulCertLen})) return SAR_FAIL;
    return WriteContainerDirectory(device, app_id, directory) ? SAR_OK : SAR_FAIL;
  });
}

ULONG DEVAPI SKF_ExportCertificate(HCONTAINER hContainer, BOOL bSignFlag, BYTE *pbCert,
                                   ULONG *pulCertLen) {
  return RunExport("SKF_ExportCertificate", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container || !container->hDev) return SAR_INVALIDHANDLEERR;
    if (!pulCertLen) return SAR_INVALIDPARAMERR;
    const DEVHANDLE device = container->hDev;
    ContainerDirectory directory;
    std::span<std::uint8_t> entry;
    if (ReadContainerEntry(*container, directory, &entry) != SAR_OK) return SAR_FAIL;
    if (!SelectDf(device, container->ContainerId)) return SAR_FAIL;
    const CertificateSlot slot = SlotOf(bSignFlag);
    if (GetU32(entry, slot.present) == 0) return SAR_FAIL;
    if (!SelectEf(device, slot.ef)) return SAR_FAIL;
    if (!pbCert) {
      std::uint32_t length = 0;
      if (QX_ReadBinaryFile(device, {}, &length) != 0) return SAR_FAIL;
      *pulCertLen = length + 1;
      return SAR_OK;
    }
    // A stored length beyond the image fails the read; nothing past it is read.
    DirectoryImage<kCertificateImageSize> image;
    if (!ReadImage(device, image)) return SAR_FAIL;
    if (*pulCertLen < image.length) {
      *pulCertLen = image.length;
      return SAR_BUFFER_TOO_SMALL;
    }
    std::memcpy(pbCert, image.bytes.data(), image.length);
    *pulCertLen = image.length;
    return SAR_OK;
  });
}

}  // extern "C"
