// The roles of cardcmd.dll's children on a provisioned key (tests/legacy/key_sharing.h), beside
// those of the SKF libraries (library_roles.h):
//   cardcmd import  the key's certificates into the user's store by the key's reader
//                   (QX_AddCertToIE), as traywatch does when the key arrives: all four each time
//   cardcmd pins    QX_VerifyPinUpDatePinInfoFile in the application, set up by its selection:
//                   a wrong PIN refused with tries left, then the right one verified
#pragma once

#include <vector>

#include "key_sharing.h"

std::vector<keyshare::Role> CardCmdRoles();
