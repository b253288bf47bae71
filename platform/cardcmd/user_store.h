// The current user's "MY" store through crypt32. Each certificate put there on account of a key
// carries a mark with the name of the reader that held the key, so that exactly those
// certificates come out again when the key leaves, whatever else the store holds.
#pragma once

#include <string>
#include <vector>

#include "platform/cardcmd/key_certificates.h"

// Adds the certificates not in the store yet, marked with `reader`. Result: how many of them
// are in the store on this reader's account (added now or before, each counted once); a
// certificate the store held without that mark is left alone and not counted. -1 when the
// store cannot be opened.
int AddKeyCertificates(const std::string &reader, const std::vector<CertificateDer> &certificates);
// Deletes every certificate of the store marked with `reader`: their number, or -1 when the store
// cannot be opened.
int RemoveKeyCertificates(const std::string &reader);
