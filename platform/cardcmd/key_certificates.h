// Every certificate on a key: device directory, the applications in use, the containers of
// each, and of each container its encryption (EF01) and signing (EF02) certificate.
#pragma once

#include <cstdint>
#include <vector>

#include "skf/card/readerio_api.h"

using CertificateDer = std::vector<std::uint8_t>;

// The certificates in that order; one that is flagged but cannot be read is left out. False
// when the device directory cannot be read.
bool ReadKeyCertificates(DEVHANDLE device, std::vector<CertificateDer> &certificates);
