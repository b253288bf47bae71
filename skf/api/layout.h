// Byte layout of the directory files the library keeps on the card. Integers are 32-bit
// little-endian; names are NUL-terminated single-byte texts.
#pragma once

#include <cstddef>
#include <cstdint>

// Card objects (identifiers as sent, high byte first).
inline constexpr std::uint16_t kDirectoryEf = 0xEF01;      // device and container directories
inline constexpr std::uint16_t kFileTableEf = 0xEF02;      // file table of an application
inline constexpr std::uint16_t kEncCertEf = 0xEF01;        // in a container DF
inline constexpr std::uint16_t kSignCertEf = 0xEF02;       // in a container DF
inline constexpr std::uint32_t kAppIdBase = 0xAD00;        // + application number 1..8
inline constexpr std::uint32_t kContainerIdBase = 0xDF00;  // + 16 x application + container

// AppDirectory: MF EF01.
inline constexpr std::size_t kAppDirectorySize = 1156;
inline constexpr std::size_t kLabelOffset = 0;
inline constexpr std::size_t kLabelSize = 68;
inline constexpr std::size_t kAppEntryOffset = 68;
inline constexpr std::size_t kAppEntrySize = 136;
inline constexpr std::size_t kAppInUse = 0;
inline constexpr std::size_t kAppCreateFileRights = 4;
inline constexpr std::size_t kAppName = 8;
inline constexpr std::size_t kAppNameField = 128;
inline constexpr std::size_t kAppNameMax = 32;
inline constexpr std::size_t kMaxApplications = 8;

// ContainerDirectory: application EF01, PinInfoHeader then ContainerEntry records.
inline constexpr std::size_t kContainerDirectorySize = 1212;
inline constexpr std::size_t kPinInfoHeaderSize = 28;
inline constexpr std::size_t kAdminMaxRetry = 4;
inline constexpr std::size_t kAdminRemainRetry = 8;
inline constexpr std::size_t kUserMaxRetry = 12;
inline constexpr std::size_t kUserRemainRetry = 16;
inline constexpr std::size_t kAdminPinChanged = 20;
inline constexpr std::size_t kUserPinChanged = 24;
inline constexpr std::size_t kContainerEntryOffset = kPinInfoHeaderSize;
inline constexpr std::size_t kContainerEntrySize = 148;
inline constexpr std::size_t kKeyType = 0;
inline constexpr std::size_t kEncCertPresent = 4;
inline constexpr std::size_t kEncKeyPresent = 8;
inline constexpr std::size_t kSignCertPresent = 12;
inline constexpr std::size_t kSignKeyPresent = 16;
inline constexpr std::size_t kContainerName = 20;
inline constexpr std::size_t kContainerNameMax = 64;  // its NUL then falls on the next field
inline constexpr std::size_t kMaxContainers = 8;

// FileTable: application (or file area) EF02, 20 InfData records.
inline constexpr std::size_t kFileTableSize = 1040;
inline constexpr std::size_t kInfDataSize = 52;
inline constexpr std::size_t kFileRecordCount = 20;
inline constexpr std::size_t kFileExist = 0;      // u8
inline constexpr std::size_t kFileAllocated = 1;  // u8
inline constexpr std::size_t kFileName = 2;
inline constexpr std::size_t kFileNameField = 33;
inline constexpr std::size_t kFileNameMax = 32;
inline constexpr std::size_t kFileLen = 36;
inline constexpr std::size_t kWriteRights = 40;
inline constexpr std::size_t kReadRights = 44;
inline constexpr std::size_t kDataEnd = 48;

// Certificates of a container: length-prefixed EFs read into an image of this size.
inline constexpr std::size_t kCertificateImageSize = 2048;

static_assert(kAppEntryOffset + kMaxApplications * kAppEntrySize == kAppDirectorySize);
static_assert(kAppName + kAppNameField == kAppEntrySize);
static_assert(kContainerEntryOffset + kMaxContainers * kContainerEntrySize ==
              kContainerDirectorySize);
static_assert(kContainerName + kContainerNameMax + 64 == kContainerEntrySize);
static_assert(kFileRecordCount * kInfDataSize == kFileTableSize);
static_assert(kFileName + kFileNameField + 1 == kFileLen);
