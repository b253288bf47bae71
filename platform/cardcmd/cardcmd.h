/* cardcmd: the card-command library of the desktop programs. Opens a key by device index,
 * sends file commands, verifies and changes the user PIN, and puts the key's certificates into
 * and out of the current user's "MY" store.
 *
 * Loaded by file name ("cardcmd.dll") and bound with GetProcAddress; __stdcall with undecorated
 * names (cardcmd.def). A program binds the names it needs and calls through decltype(&name).
 *
 * Card handle: a 32-bit value, > 0 for an open key, 0 for none. Status words: 0x9000 success.
 * PIN results: 0 verified or changed; n > 0 wrong, n tries left; -1 locked; else failure. */
#ifndef CARDCMD_H
#define CARDCMD_H

#include <stdint.h>

#ifdef _WIN32
#define CARDCMD_API __stdcall
#else
#define CARDCMD_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define CARDCMD_RESET_BUFFER 80 /* QX_IC_RESET's answer buffer, at least */
#define CARDCMD_SERIAL_BUFFER 64
#define CARDCMD_OUT_BUFFER 64 /* the out buffer of the certificate-store operations */
#define CARDCMD_MAX_READ 128  /* largest Read_Binary length */

/* Device index 0..3 in readerio's list of readers with a key; 0 when there is none. */
int32_t CARDCMD_API QX_Open(int32_t device_index);
int32_t CARDCMD_API QX_Close(int32_t card);
int32_t CARDCMD_API QX_IC_RESET(int32_t card, uint8_t *answer);
int32_t CARDCMD_API QX_GET_BCDSN(int32_t card, uint8_t *serial);

/* SELECT: (0,0,0,NULL) master file; (1,0,2,{AD,0n}) application; (1,0,2,{DF,xy}) container;
 * (2,0,2,{EF,0n}) file. Negative result or *sw other than 0x9000: failure. */
int32_t CARDCMD_API Select_File(int32_t card, uint8_t p1, uint8_t p2, uint8_t lc,
                                const uint8_t *data, uint16_t *sw);
/* READ BINARY of the selected file: (card, 0, offset high, offset low, 0, length 1..128). */
int32_t CARDCMD_API Read_Binary(int32_t card, uint8_t cla, uint8_t p1, uint8_t p2, uint8_t lc,
                                uint8_t length, uint8_t *out, uint16_t *sw);

/* Registers the key's certificates: (0, card, 0, 0, 0); > 0 success. */
int32_t CARDCMD_API QX_StoreCert(int32_t reserved, int32_t card, int32_t reserved2,
                                 int32_t reserved3, int32_t reserved4);

/* User PIN of the selected application; the PIN information file is kept as the SKF library
 * keeps it. The change buffer is old PIN, one byte 0xFF, new PIN; length is its size. */
int32_t CARDCMD_API QX_VerifyPinUpDatePinInfoFile(int32_t card, const char *pin, int32_t length);
int32_t CARDCMD_API QX_ChangePin(int32_t card, int32_t length, const uint8_t *change);

/* Certificates of the key in the named reader into the current user's "MY" store:
 * (0, reader name, 0, 0, 0, 0, 0, out[64]); result = number added. */
int32_t CARDCMD_API QX_AddCertToIE(int32_t reserved, const char *reader_name, int32_t r2,
                                   int32_t r3, int32_t r4, int32_t r5, int32_t r6, char *out);
/* Takes out exactly the certificates that key put there: (0, reader name, 0, 0, out[64]). */
int32_t CARDCMD_API QX_DelCertFrIE(int32_t reserved, const char *reader_name, int32_t r2,
                                   int32_t r3, char *out);

#ifdef __cplusplus
}
#endif

#endif /* CARDCMD_H */
