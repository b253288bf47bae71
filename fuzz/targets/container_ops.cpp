// Container family with certificates and public keys.
#include "fuzz/harness/families.h"

namespace fuzz {

namespace {

void CreateContainer(Run &run, unsigned variant) {
  char name[8] = "CONT-0";
  HCONTAINER container = nullptr;
  if (SKF_CreateContainer(run.app, Numbered(name, variant), &container) == SAR_OK) {
    run.container = run.Keep(container);
  }
}

void DeleteContainer(Run &run, unsigned variant) {
  char name[8] = "CONT-0";
  SKF_DeleteContainer(run.app, Numbered(name, variant));
}

void EnumContainers(Run &run, unsigned variant) {
  char list[700] = {};
  ULONG size = variant & 2 ? 4 : sizeof list;
  SKF_EnumContainer(run.app, variant & 1 ? nullptr : list, &size);
}

void Types(Run &run, unsigned) {
  ULONG value = 0;
  SKF_GetContianerType(run.container, &value);
  SKF_GetContainerType(run.container, &value);
  SKF_GetContianerProperty(run.container, &value);
  SKF_GetRsaType(run.container, &value);
}

void ImportCertificate(Run &run, unsigned variant) {
  static const ULONG kLengths[] = {0, 1, 300, 2048};
  Bytes cert = Filled(2048, static_cast<std::uint8_t>(variant));
  SKF_ImportCertificate(run.container, variant & 1, cert.data(), kLengths[(variant >> 1) & 3]);
}

void ExportCertificate(Run &run, unsigned variant) {
  BYTE cert[2048];
  ULONG size = variant & 4 ? 100 : sizeof cert;
  SKF_ExportCertificate(run.container, variant & 1, variant & 2 ? nullptr : cert, &size);
}

void ExportPublicKey(Run &run, unsigned variant) {
  BYTE blob[sizeof(RSAPUBLICKEYBLOB)];
  ULONG size = variant & 4 ? 100 : sizeof blob;
  SKF_ExportPublicKey(run.container, variant & 1, variant & 2 ? nullptr : blob, &size);
}

void CloseContainer(Run &run, unsigned) { SKF_CloseContainer(run.container); }

const Operation kOps[] = {
    {"open_app", OpenApp},
    {"verify_pin", VerifyUserPin},
    {"open_container", OpenContainer},
    {"create_container", CreateContainer},
    {"delete_container", DeleteContainer},
    {"enum_containers", EnumContainers},
    {"types", Types},
    {"import_certificate", ImportCertificate},
    {"export_certificate", ExportCertificate},
    {"export_public_key", ExportPublicKey},
    {"close_container", CloseContainer},
};

}  // namespace

std::span<const Operation> ContainerOps() { return kOps; }

}  // namespace fuzz
