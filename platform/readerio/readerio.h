/* readerio: the reader I/O library. Lists readers with a key present, opens a key by reader
 * name and exchanges APDUs with it. Two backends behind the same ten functions: PC/SC readers
 * (pcsc-lite natively, winscard on Windows) and virtual keys served by keysimd at the address
 * in the environment variable KEYSIM_ADDR ("host:port"; unset: no virtual readers).
 *
 * Calling convention: __stdcall on Windows, like the token library's own exports, with
 * undecorated names (readerio.def); the platform default elsewhere.
 *
 * Results are ISO status words in the low 16 bits of a u32: 0x9000 success, 0xFFxx a reader
 * failure (READERIO_SW_*), anything else the card's answer. */
#ifndef READERIO_H
#define READERIO_H

#include <stdint.h>

#ifdef _WIN32
#define READERIO_API __stdcall
#else
#define READERIO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An open key; NULL is none. */
typedef void *QX_DEVHANDLE;

#define READERIO_SW_OK 0x9000u
#define READERIO_SW_COMM 0xFF01u        /* the reader or keysimd did not answer */
#define READERIO_SW_REMOVED 0xFF02u     /* the key has gone */
#define READERIO_SW_BAD_HANDLE 0xFF03u  /* handle not open (or already closed) */
#define READERIO_SW_BAD_ARGS 0xFF04u    /* NULL pointer, bad length or record size */
#define READERIO_SW_TOO_LONG 0xFF05u    /* the answer does not fit the caller's buffer */
#define READERIO_SW_NO_READER 0xFF06u   /* no reader of that name with a key */
#define READERIO_SW_UNSUPPORTED 0xFF07u /* operation not provided */

/* Reader list: slots of this many bytes, one NUL-terminated name each. */
#define READERIO_NAME_SLOT 260
#define READERIO_MAX_NAME 255
#define READERIO_ATR_MAX 32
#define READERIO_DESCRIPTOR_MAX 64
#define READERIO_MAX_COMMAND 65544u

/* Reader information record. The caller sets cbSize (at least offsetof dwMaxDataLength + 4);
 * nothing is written at or beyond cbSize. */
typedef struct QX_READER_INFO {
  uint32_t cbSize;          /* byte 0: size of the record, set by the caller */
  char szReaderName[256];   /* byte 4 */
  char szBackend[16];       /* byte 260: "PCSC" or "KEYSIM" */
  char szLocation[64];      /* byte 276: where the reader is reached, with szReaderName what
                               names the key on the machine: keysimd's address for a virtual
                               key, empty for PC/SC */
  uint32_t dwFlags;         /* byte 340: READERIO_INFO_* */
  uint32_t dwMaxDataLength; /* byte 344: M, the largest data length of one command */
  uint8_t abReserved2[164]; /* byte 348 */
} QX_READER_INFO;           /* 512 bytes */

#define READERIO_INFO_VIRTUAL 0x1u

/* Array of *count pointers into consecutive 260-byte name slots, or NULL (no readers, or
 * count NULL). Free with QX_DestroyReaderList. */
char **READERIO_API QX_GetReaderList(uint32_t *count, int reserved);
uint32_t READERIO_API QX_DestroyReaderList(char **list);

/* Answer-to-reset into atr (32 bytes); *length gets its size. Clears the card's security
 * state. An answer longer than 32 bytes is refused with READERIO_SW_TOO_LONG. */
uint32_t READERIO_API QX_ResetCard(QX_DEVHANDLE handle, uint8_t *atr, uint16_t *length,
                                   int reserved);

/* NUL-terminated descriptor text of at most 64 upper-case hex characters (65-byte buffer). */
uint32_t READERIO_API QX_GetDescriptor(QX_DEVHANDLE handle, char *text);

/* Not provided: returns READERIO_SW_UNSUPPORTED. */
uint32_t READERIO_API QX_OpenPort(void);

uint32_t READERIO_API QX_ClosePort(QX_DEVHANDLE handle);

/* One command APDU (short or extended), at most READERIO_MAX_COMMAND bytes. The response
 * data (without the status word) is cut to what the command asks for (its Le; nothing for a
 * command without Le); *response_length gets its size. Data that a u16 cannot count (65536
 * bytes) is refused with READERIO_SW_TOO_LONG. Result: the card's status word, or 0xFFxx. */
uint32_t READERIO_API QX_ApduT0(QX_DEVHANDLE handle, const uint8_t *command,
                                uint32_t command_length, uint8_t *response,
                                uint16_t *response_length, int reserved);

/* Not provided: returns READERIO_SW_UNSUPPORTED. */
uint32_t READERIO_API QX_GetDeviceName(void);

uint32_t READERIO_API QX_OpenPath(const char *reader_name, QX_DEVHANDLE *handle);

uint32_t READERIO_API QX_GetReaderInfo(QX_DEVHANDLE handle, QX_READER_INFO *info);

#ifdef __cplusplus
}
#endif

#endif /* READERIO_H */
