#include "examples/der.h"

#include <cstddef>

namespace {

constexpr std::size_t kSm2Coordinate = 32;  // the last 32 bytes of each 64-byte blob field
constexpr std::size_t kEccField = ECC_MAX_XCOORDINATE_BITS_LEN / 8;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kUncompressedPoint = 0x04;
constexpr std::size_t kPemLine = 64;

// AlgorithmIdentifier { id-ecPublicKey, sm2 (1.2.156.10197.1.301) }
constexpr std::uint8_t kSm2Algorithm[] = {0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48,
                                          0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08, 0x2A,
                                          0x81, 0x1C, 0xCF, 0x55, 0x01, 0x82, 0x2D};
// AlgorithmIdentifier { rsaEncryption, NULL }
constexpr std::uint8_t kRsaAlgorithm[] = {0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                          0xF7, 0x0D, 0x01, 0x01, 0x01, 0x05, 0x00};
// DigestInfo header for SHA-256 with a 32-byte digest to follow.
constexpr std::uint8_t kSha256DigestInfo[] = {0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60,
                                              0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02,
                                              0x01, 0x05, 0x00, 0x04, 0x20};

void Append(Bytes &out, const std::uint8_t *data, std::size_t size) {
  out.insert(out.end(), data, data + size);
}

Bytes Tlv(std::uint8_t tag, const Bytes &value) {
  Bytes out{tag};
  const std::size_t n = value.size();
  if (n < 0x80) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else if (n <= 0xFF) {
    out.insert(out.end(), {0x81, static_cast<std::uint8_t>(n)});
  } else {
    out.insert(out.end(), {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
  }
  Append(out, value.data(), n);
  return out;
}

// An unsigned big-endian number as a DER INTEGER: leading zeros dropped, one zero put back
// when the top bit is set.
Bytes Integer(const std::uint8_t *number, std::size_t size) {
  std::size_t start = 0;
  while (start + 1 < size && number[start] == 0) ++start;
  Bytes value;
  if (number[start] & 0x80) value.push_back(0);
  Append(value, number + start, size - start);
  return Tlv(kInteger, value);
}

Bytes Concat(const Bytes &a, const Bytes &b) {
  Bytes out = a;
  Append(out, b.data(), b.size());
  return out;
}

std::string Base64(const Bytes &data) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::size_t left = data.size() - i;
    std::uint32_t group = std::uint32_t{data[i]} << 16;
    if (left > 1) group |= std::uint32_t{data[i + 1]} << 8;
    if (left > 2) group |= data[i + 2];
    out += kAlphabet[(group >> 18) & 0x3F];
    out += kAlphabet[(group >> 12) & 0x3F];
    out += left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    out += left > 2 ? kAlphabet[group & 0x3F] : '=';
  }
  return out;
}

std::string Pem(const char *label, const Bytes &der) {
  const std::string body = Base64(der);
  std::string out = std::string("-----BEGIN ") + label + "-----\n";
  for (std::size_t i = 0; i < body.size(); i += kPemLine) out += body.substr(i, kPemLine) + "\n";
  return out + "-----END " + label + "-----\n";
}

Bytes SubjectPublicKeyInfo(const std::uint8_t *algorithm, std::size_t algorithm_size,
                           const Bytes &key) {
  Bytes bits{0};  // no unused bits
  Append(bits, key.data(), key.size());
  Bytes body(algorithm, algorithm + algorithm_size);
  return Tlv(kSequence, Concat(body, Tlv(kBitString, bits)));
}

}  // namespace

std::string Sm2PublicKeyPem(const ECCPUBLICKEYBLOB &blob) {
  Bytes point{kUncompressedPoint};
  Append(point, blob.XCoordinate + kEccField - kSm2Coordinate, kSm2Coordinate);
  Append(point, blob.YCoordinate + kEccField - kSm2Coordinate, kSm2Coordinate);
  return Pem("PUBLIC KEY", SubjectPublicKeyInfo(kSm2Algorithm, sizeof kSm2Algorithm, point));
}

std::string RsaPublicKeyPem(const RSAPUBLICKEYBLOB &blob) {
  if (blob.BitLen != 1024 && blob.BitLen != 2048) return {};
  const std::size_t k = blob.BitLen / 8;
  const Bytes key = Tlv(kSequence, Concat(Integer(blob.Modulus + MAX_RSA_MODULUS_LEN - k, k),
                                          Integer(blob.PublicExponent, MAX_RSA_EXPONENT_LEN)));
  return Pem("PUBLIC KEY", SubjectPublicKeyInfo(kRsaAlgorithm, sizeof kRsaAlgorithm, key));
}

Bytes Sm2SignatureDer(const ECCSIGNATUREBLOB &signature) {
  return Tlv(kSequence, Concat(Integer(signature.r + kEccField - kSm2Coordinate, kSm2Coordinate),
                               Integer(signature.s + kEccField - kSm2Coordinate, kSm2Coordinate)));
}

Bytes Sha256DigestInfo(const std::uint8_t digest[32]) {
  Bytes out(kSha256DigestInfo, kSha256DigestInfo + sizeof kSha256DigestInfo);
  Append(out, digest, 32);
  return out;
}
