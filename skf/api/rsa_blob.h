// Conversion between the RSA blobs (big-endian, a 1024-bit key right-aligned in the 2048-bit
// fields) and the card layer's key records (every value left-aligned at its width).
#pragma once

#include "skf.h"
#include "skf/card/rsa_keys.h"

// BitLen 2048 copies every field whole; any other BitLen the right-aligned 1024-bit parts.
// The record's BitLen is the blob's.
void RsaPublicFromBlob(const RSAPUBLICKEYBLOB &blob, RsaPublicKeyRecord *key);
void RsaKeyFromBlob(const RSAPRIVATEKEYBLOB &blob, RsaKeyRecord *key);
// The reverse, into the same right-aligned places; other blob bytes keep what they held.
// AlgID becomes SGD_RSA and BitLen `bits`.
void RsaPublicToBlob(const RsaPublicKeyRecord &key, ULONG bits, RSAPUBLICKEYBLOB *blob);
void RsaKeyToBlob(const RsaKeyRecord &key, ULONG bits, RSAPRIVATEKEYBLOB *blob);
