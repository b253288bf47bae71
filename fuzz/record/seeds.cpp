#include "fuzz/record/seeds.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstring>
#include <sstream>

namespace fuzz {

namespace {

const Target kTargets[] = {
    {"device", DeviceOps, false},
    {"app_file", AppFileOps, false},
    {"container", ContainerOps, false},
    {"rsa", RsaOps, false},
    {"sm2", Sm2Ops, false},
    {"symmetric", SymmetricOps, false},
    {"caller_data", CallerDataOps, true},
};

std::vector<std::string> Words(const char *text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// A DER RSAPrivateKey of `bits` bits from OpenSSL.
std::vector<std::uint8_t> RsaDer(int bits) {
  std::vector<std::uint8_t> der;
  EVP_PKEY *key = EVP_RSA_gen(static_cast<unsigned>(bits));
  if (!key) return der;
  unsigned char *out = nullptr;
  const int n = i2d_PrivateKey(key, &out);
  if (n > 0) der.assign(out, out + n);
  OPENSSL_free(out);
  EVP_PKEY_free(key);
  return der;
}

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  const Bytes bytes = Filled(n, seed);
  return {bytes.begin(), bytes.end()};
}

}  // namespace

std::span<const Target> Targets() { return kTargets; }

std::vector<Seed> SeedsOf(const Target &target) {
  const std::string name = target.name;
  const auto S = [](const char *seed, const char *script) {
    return Seed{seed, Words(script), 0, {}};
  };
  if (name == "device") {
    return {S("list_info_label", "enum_dev dev_info set_label:5 dev_info"),
            S("transmit_auth", "transmit transmit:3 dev_auth change_auth_key gen_random:13"),
            S("apps", "dev_auth create_app enum_apps open_app delete_app enum_apps"),
            S("format", "format dev_info enum_apps")};
  }
  if (name == "app_file") {
    return {S("pins",
              "open_app pin_info verify_pin verify_pin:1 change_pin change_pin:2 "
              "pin_info:1 unblock_pin"),
            S("files",
              "open_app create_file:4 write_file read_file file_info enum_files "
              "delete_file enum_files"),
            S("big_file", "open_app create_file:12 write_file:4 read_file:4 read_file:8")};
  }
  if (name == "container") {
    return {S("sm2",
              "open_app open_container types export_public_key export_certificate:1 "
              "export_certificate:2"),
            S("rsa", "open_app open_container:1 types export_public_key:1 export_certificate"),
            S("create",
              "open_app create_container enum_containers import_certificate:5 "
              "export_certificate:1 delete_container close_container")};
  }
  if (name == "rsa") {
    return {S("sign", "open_app verify_pin open_container sign sign:4 export_session_key"),
            S("decrypts", "open_app verify_pin open_container decrypts decrypts:4 decrypts:8"),
            S("generate",
              "open_app verify_pin open_container gen_key_pair gen_ext_key "
              "public_operation private_operation verify")};
  }
  if (name == "sm2") {
    return {S("sign", "open_app verify_pin open_container sign verify gen_key_pair"),
            S("ciphers",
              "open_app verify_pin open_container export_session_key ext_encrypt "
              "ext_decrypt_sign ext_decrypt_sign:1 container_decrypt"),
            S("agreement",
              "open_app verify_pin open_container agreement agreement_responder "
              "gen_ext_key"),
            S("import",
              "open_app verify_pin open_container import_session_key "
              "import_key_pair:1")};
  }
  if (name == "symmetric") {
    return {S("sm4_stream", "set_key:5 init:1 update final init:5 one_shot:4"),
            S("sm1_one_shot", "set_key init:2 one_shot update:1 final"),
            S("digests", "digest_init:3 digest:4 digest:8 digest_init:1 digest"),
            S("des_software", "set_key:6 init one_shot init:4 one_shot:4")};
  }
  std::vector<Seed> seeds;
  const auto D = [&](const char *seed, const char *op, unsigned container,
                     std::vector<std::uint8_t> data) {
    seeds.push_back(Seed{seed, Words(op), container, std::move(data)});
  };
  D("der_1024", "parse_der", 0, RsaDer(1024));
  D("der_2048", "parse_der", 0, RsaDer(2048));
  D("enveloped", "import_enveloped", 0, Pattern(sizeof(ENVELOPEDKEYBLOB) + 15, 3));
  D("cipher_blob", "decrypt_cipher_blob:1", 0, Pattern(sizeof(ECCCIPHERBLOB) + 15, 5));
  D("rsa_public", "rsa_public_blob", 1, Pattern(sizeof(RSAPUBLICKEYBLOB), 7));
  D("rsa_private", "rsa_private_blob", 1, Pattern(sizeof(RSAPRIVATEKEYBLOB), 9));
  D("ecc_public", "ecc_public_blob:2", 0, Pattern(sizeof(ECCPUBLICKEYBLOB) + 32, 11));
  D("certificate", "certificate", 0, Pattern(700, 13));
  return seeds;
}

std::vector<std::uint8_t> FirstChunk(const Target &target, const Seed &seed) {
  const auto table = target.ops();
  std::vector<std::uint8_t> bytes;
  for (const std::string &word : seed.script) {
    const std::size_t colon = word.find(':');
    const std::string op = word.substr(0, colon);
    const unsigned variant = colon == std::string::npos ? 0 : std::stoul(word.substr(colon + 1));
    std::size_t index = table.size();
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (op == table[i].name) index = i;
    }
    const std::size_t byte = index + variant * table.size();
    if (index == table.size() || byte > 0xFF) return {};
    bytes.push_back(static_cast<std::uint8_t>(byte));
  }
  if (target.caller_data) {
    bytes.push_back(static_cast<std::uint8_t>(seed.container));
    bytes.insert(bytes.end(), seed.data.begin(), seed.data.end());
  }
  return bytes;
}

}  // namespace fuzz
