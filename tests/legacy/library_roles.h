// The roles of tokencore's and tokenbase's children on a provisioned key (key_sharing.h), named
// "<library> <role>", the library tokencore or tokenbase:
//   pins        a wrong PIN, refused with tries left, then the right one
//   rsa-sign    RSA signatures, checked with OpenSSL
//   sm2-sign    SM2 signatures, checked with OpenSSL
//   decrypt     OpenSSL's RSA ciphertexts decrypted; with tokencore its SM2 ones too
//   verify      SKF_ECCVerify of OpenSSL's signatures: under the signer's key each verifies,
//               under another key none does
//   files       the library's own file (FileOf) written and read back
//   containers  the library's own container created, listed, deleted and no longer listed
//   certificates  the containers' four certificates read, each time as they were first read
// Every child connects on its own and, where its role needs it, verifies the right PIN first.
// tokenbase connects only to a key that refuses the built-in card key: the parent has the key
// refuse it while its children set up (containers need it taken again). Every result that
// comes back is checked; anything but the right result is a failure.
#pragma once

#include <vector>

#include "host_library.h"
#include "key_sharing.h"

namespace legacytest {

inline constexpr ULONG kSharedFileSize = 256;

std::vector<keyshare::Role> LibraryRoles();
// The file of the library's "files" children, which the parent creates beforehand, anyone
// reading and writing it.
const char *FileOf(host::Build build);

}  // namespace legacytest
