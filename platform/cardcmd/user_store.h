// The current user's "MY" store through crypt32. Each certificate put there on account of a key
// carries a mark with the name of the reader that held the key, so that exactly those
// certificates come out again when the key leaves, whatever else the store holds. One that
// another key present carries too (a backup, a copy) stays, and passes to that key's account.
#pragma once

#include <string>
#include <vector>

#include "platform/cardcmd/key_certificates.h"

// Adds the certificates not in the store yet, marked with `reader`. Result: how many of them
// are in the store on this reader's account (added now or before, each counted once); a
// certificate the store held without that mark is left alone and not counted. -1 when the
// store cannot be opened.
int AddKeyCertificates(const std::string &reader, const std::vector<CertificateDer> &certificates);
// The certificates of a key present, by its reader.
struct KeyOnReader {
  std::string reader;
  std::vector<CertificateDer> certificates;
};

// Deletes every certificate of the store marked with `reader` that no key of `present` carries;
// one that a key of `present` carries stays, marked with the first such key's reader. Result:
// how many were deleted, or -1 when the store cannot be opened.
int RemoveKeyCertificates(const std::string &reader, const std::vector<KeyOnReader> &present);
