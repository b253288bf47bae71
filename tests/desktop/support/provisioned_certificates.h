// The certificates a provisioned virtual key was made with, read raw from the card through
// readerio (not through the libraries under test): application AD01, containers DF11 (SM2) and
// DF12 (RSA), of each the encryption certificate (EF01) and the signing certificate (EF02).
#pragma once

#include <string>
#include <vector>

#include "tests/desktop/support/user_store.h"

// The four certificates in that order; fewer when the key holds fewer.
std::vector<EncodedCertificate> ProvisionedCertificates(const std::string &key);
