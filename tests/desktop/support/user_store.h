// The current user's "MY" certificate store as a test sees it, through crypt32: certificates
// looked up, put in and taken out by their encoded bytes.
#pragma once

#include <cstdint>
#include <vector>

using EncodedCertificate = std::vector<std::uint8_t>;

bool InUserStore(const EncodedCertificate &der);
// How many certificates of the store have these bytes.
int CountInUserStore(const EncodedCertificate &der);
bool PutInUserStore(const EncodedCertificate &der);
// Removes every copy; true when none is left.
bool TakeFromUserStore(const EncodedCertificate &der);
