#include <string>

#include "argument_cases.h"
#include "virtual_key.h"

namespace argcases {

LibraryRecords MakeRecords() {
  LibraryRecords r;
  if (!vkey::Attach()) {
    ADD_FAILURE() << "no keysimd";
    return r;
  }
  const std::string key = vkey::CreateKey("args", true);
  DEVHANDLE device = nullptr;
  EXPECT_EQ(SKF(SKF_ConnectDev)(vkey::ReaderOf(key).c_str(), &device), SAR_OK) << key;
  char app_name[] = "KEYSIM-APP", container_name[] = "SM2-CONTAINER";
  BYTE id[16] = {};
  ECCPUBLICKEYBLOB temp{};
  for (HAPPLICATION *app : {&r.app, &r.closed_app}) {
    EXPECT_EQ(SKF(SKF_OpenApplication)(device, app_name, app), SAR_OK);
  }
  for (HCONTAINER *container : {&r.container, &r.closed_container}) {
    EXPECT_EQ(SKF(SKF_OpenContainer)(r.app, container_name, container), SAR_OK);
  }
  EXPECT_EQ(
      SKF(SKF_GenerateAgreementDataWithECC)(r.container, SGD_SMS4_ECB, &temp, id, 16, &r.agreement),
      SAR_OK);
  EXPECT_EQ(SKF(SKF_CloseApplication)(r.closed_app), SAR_OK);
  EXPECT_EQ(SKF(SKF_CloseContainer)(r.closed_container), SAR_OK);
  SKF(SKF_DisConnectDev)(device);
  vkey::Remove(key);
  return r;
}

const LibraryRecords &SharedRecords() {
  static const LibraryRecords records = MakeRecords();
  return records;
}

}  // namespace argcases
