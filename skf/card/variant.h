// The two builds of the library. tokencore and tokenbase link the same card layer and exports;
// what differs between them is named here once and defined once per library: tokencore's
// definitions are skf/card/core_variant.cpp and skf/api/core_variant.cpp, tokenbase's are in
// skf/legacy. A value that differs is a field of kLibraryVariant; a step that differs is a
// function below with one definition per library; an export that differs as a whole is a
// source file of its own, and skf/CMakeLists.txt picks the files of each library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "skf/card/readerio_api.h"

// An algorithm identifier of SKF_GenECCKeyPair and the pair it generates.
struct EccPairAlgorithm {
  std::uint32_t alg_id;
  bool signing;  // the signing pair, else the encryption pair
};

// How a container's SM2 decryption offers the ciphertext C1 C2 C3 to the card.
enum class Sm2CipherOrder : std::uint8_t {
  kReordered,  // as C1 C3 C2, the card's order
  kAsGiven,
};

struct LibraryVariant {
  // Key agreement 80 42 P1 P2: the key files of the own static pair in the container DF.
  std::uint8_t agreement_p1;
  std::uint8_t agreement_p2;
  // Directory images: the entries looked at lie in the first bytes of these sizes. The card
  // format writes a device directory of this size.
  std::size_t app_directory_size;
  std::size_t container_directory_size;
  // A device directory, container directory or file table stored longer than the library's image
  // of it: read whole (as far as the length field goes) with its bytes past the image written
  // back as they were, or refused.
  bool long_directories_read;
  std::span<const EccPairAlgorithm> ecc_pair_algorithms;
  // Container SM2 decryption: the orders tried, first to last, until the card accepts one.
  std::span<const Sm2CipherOrder> container_decrypt_orders;
  // SKF_EnumDev's reader list when no present device is asked for (names and their NULs).
  std::string_view absent_device_list;
};

extern const LibraryVariant kLibraryVariant;

// The first step of QX_FormatCard, before it authenticates: the card information is read (and,
// in tokencore, the card reset first); neither result is looked at.
void QX_FormatPrepare(DEVHANDLE device);

// The MAC of the administrator-key and unblock commands, with DES_RetailMac's arguments and
// result: tokencore computes it with DES_RetailMac, tokenbase with its hex-text MAC routines.
int QX_CommandMac(const std::uint8_t *message, int length, std::uint8_t mac[4],
                  const std::uint8_t key[16], std::uint8_t flag);

// Runs right before a container's RSA private key (EF `private_ef` of the selected container)
// is selected for an operation on k-byte blocks, signing or decrypting. 0 goes on, -1 fails
// the operation.
int QX_PrepareContainerPrivateKey(DEVHANDLE device, std::uint8_t private_ef, std::uint32_t k,
                                  bool signing);
