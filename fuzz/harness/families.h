// The operation tables of the fuzz targets, one family of exports each.
#pragma once

#include <span>

#include "fuzz/harness/harness.h"

namespace fuzz {

std::span<const Operation> DeviceOps();      // device, label, transmit, authentication, format
std::span<const Operation> AppFileOps();     // applications, files, PINs
std::span<const Operation> ContainerOps();   // containers, certificates, public keys
std::span<const Operation> RsaOps();         // RSA keys, RSA extensions, RSA key-pair import
std::span<const Operation> Sm2Ops();         // SM2 keys, agreement, SM2 extensions and import
std::span<const Operation> SymmetricOps();   // session keys, ciphers, digests
std::span<const Operation> CallerDataOps();  // blobs, DER keys and certificates from the caller
std::span<const Operation> EventWaitOps();   // the event wait and the reader list

// "NAME-k" with k = variant % 3 in a name of the form "NAME-0".
char *Numbered(char (&name)[8], unsigned variant);

// Opening steps that several families share.
void OpenApp(Run &run, unsigned variant);
void VerifyUserPin(Run &run, unsigned variant);
void OpenContainer(Run &run, unsigned variant);  // variant bit 0: the RSA container

}  // namespace fuzz
