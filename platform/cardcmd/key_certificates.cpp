#include "platform/cardcmd/key_certificates.h"

#include "platform/cardcmd/card_paths.h"
#include "skf/api/directory.h"

namespace {

struct CertificateFile {
  std::size_t present;  // flag of the container entry
  std::uint16_t ef;
};
constexpr CertificateFile kCertificateFiles[] = {{kEncCertPresent, kEncCertEf},
                                                 {kSignCertPresent, kSignCertEf}};

void ReadContainer(DEVHANDLE device, std::uint32_t app_id, std::size_t index,
                   std::span<const std::uint8_t> entry, std::vector<CertificateDer> &out) {
  for (const CertificateFile &file : kCertificateFiles) {
    if (GetU32(entry, file.present) == 0) continue;
    DirectoryImage<kCertificateImageSize> image;
    if (!SelectApplication(device, app_id) || !SelectDf(device, ContainerDfOf(app_id, index)) ||
        !SelectEf(device, file.ef) || !ReadImage(device, image) || image.length == 0) {
      continue;
    }
    out.emplace_back(image.bytes.begin(), image.bytes.begin() + image.length);
  }
}

}  // namespace

bool ReadKeyCertificates(DEVHANDLE device, std::vector<CertificateDer> &certificates) {
  AppDirectory apps;
  if (!ReadAppDirectory(device, apps)) return false;
  for (std::size_t k = 0; k < AppEntryCount(apps); ++k) {
    if (GetU32(AppEntry(apps, k), kAppInUse) == 0) continue;
    const std::uint32_t app_id = AppDfOf(k);
    ContainerDirectory containers;
    if (!ReadContainerDirectory(device, app_id, containers)) continue;
    for (std::size_t j = 0; j < ContainerEntryCount(containers); ++j) {
      const auto entry = ContainerEntry(containers, j);
      if (entry[kContainerName] != 0) ReadContainer(device, app_id, j, entry, certificates);
    }
  }
  return true;
}
