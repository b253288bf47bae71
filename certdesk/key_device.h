// One key opened through cardcmd: opening by device index, selections and the length-prefixed
// card files certdesk reads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace certdesk {

inline constexpr int kListedKeys = 4;          // device indexes 0..3
inline constexpr int kListedApplications = 4;  // AD01..AD04
inline constexpr int kListedContainers = 4;    // per application

// AppDirectory (master file, EF 01): the label, then application entries.
inline constexpr std::size_t kAppDirectorySize = 612;
inline constexpr std::size_t kAppEntryFirst = 68;
inline constexpr std::size_t kAppEntrySize = 136;
// ContainerDirectory (application DF, EF 01): the PIN header, then container entries.
inline constexpr std::size_t kContainerDirectorySize = 1296;
inline constexpr std::size_t kContainerEntryFirst = 28;
inline constexpr std::size_t kContainerEntrySize = 148;
inline constexpr std::size_t kEntryEncCertFlag = 4;
inline constexpr std::size_t kEntrySignCertFlag = 12;
inline constexpr std::size_t kEntryName = 20;
// A certificate file (container DF, EF 01 encryption, EF 02 signing).
inline constexpr std::size_t kCertificateSize = 3000;

inline constexpr std::uint16_t kDirectoryFile = 0xEF01;  // AppDirectory, ContainerDirectory
inline constexpr std::uint16_t kEncCertFile = 0xEF01;
inline constexpr std::uint16_t kSignCertFile = 0xEF02;
inline constexpr std::uint16_t kFirstApplication = 0xAD01;

// Binds cardcmd when it is not bound and opens the key of `device_index`: its handle, or 0
// (cardcmd freed again). Any other result of QX_Open is returned as it is.
std::int32_t OpenKeyDevice(int device_index);
// Closes the key (a handle of 0 is not closed) and frees cardcmd.
void CloseKeyDevice(std::int32_t handle);

// Selections; true when cardcmd answered 9000.
bool SelectMasterFile(std::int32_t handle);
bool SelectApplication(std::int32_t handle, int application_index);  // DF AD 0(a+1)
bool SelectContainer(std::int32_t handle, int application_index, int container_index);

// What a stored length above the output's capacity does: a directory is read up to its image
// (its leading entries are all certdesk looks at); a certificate is refused.
enum class LongFile { kTruncate, kRefuse };

// Reads the length-prefixed EF `file_id` of the current DF into `output` (capacity bytes):
// 0 and the length placed there, or -1 on a failed command, an empty file (length FFFF) or a
// refused length.
int ReadKeyFile(std::int32_t handle, std::uint16_t file_id, std::uint8_t *output,
                std::size_t capacity, LongFile long_file, std::size_t *length);

// 0 when the key's AppDirectory lists `application_id` (0xAD01 + entry index), else -1.
int ProbeKeySlot(std::int32_t handle, std::uint16_t application_id);

// 32-bit little-endian field of a directory image.
std::uint32_t FieldAt(const std::uint8_t *image, std::size_t offset);

}  // namespace certdesk
