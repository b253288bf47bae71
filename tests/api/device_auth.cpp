#include "device_auth.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>

using vkey::Bytes;

Bytes DeviceAuthData(const Bytes &challenge, const char *device_key) {
  unsigned char key[16] = {};
  std::memcpy(key, device_key, std::strlen(device_key));
  const char standin[16] = "SSF33-STANDIN";
  for (int i = 0; i < 16; ++i) key[i] ^= static_cast<unsigned char>(standin[i]);
  unsigned char block[16] = {};
  std::memcpy(block, challenge.data(), 8);
  Bytes out(32);
  int n = 0;
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_sm4_ecb(), nullptr, key, nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, out.data(), &n, block, 16);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(16);
  return out;
}

Bytes Challenge(DEVHANDLE device) {
  const BYTE command[] = {0x00, 0x84, 0x00, 0x00, 0x08};
  BYTE out[10] = {};
  ULONG size = sizeof out;
  EXPECT_EQ(SKF(SKF_Transmit)(device, command, sizeof command, out, &size), SAR_OK);
  return Bytes(out, out + 8);
}
