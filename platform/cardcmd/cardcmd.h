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
/* Resets the card (the master file is then current); its answer-to-reset in `answer` (at least
 * 80 bytes; the first 32 are written). 0, or negative. */
int32_t CARDCMD_API QX_IC_RESET(int32_t card, uint8_t *answer);
/* The card serial as 8 upper-case hexadecimal characters and a NUL (9 of the 64 bytes). */
int32_t CARDCMD_API QX_GET_SN(int32_t card, char *serial);
/* The card serial as 4 packed decimal bytes in the first 4 bytes of `serial`. 0, or negative. */
int32_t CARDCMD_API QX_GET_BCDSN(int32_t card, uint8_t *serial);

/* SELECT: (0,0,0,NULL) master file; (1,0,2,{AD,0n}) application; (1,0,2,{DF,xy}) container;
 * (2,0,2,{EF,0n}) file. Negative result or *sw other than 0x9000: failure. */
int32_t CARDCMD_API Select_File(int32_t card, uint8_t p1, uint8_t p2, uint8_t lc,
                                const uint8_t *data, uint16_t *sw);
/* READ BINARY of the selected file: (card, 0, offset high, offset low, 0, length 1..128). */
int32_t CARDCMD_API Read_Binary(int32_t card, uint8_t cla, uint8_t p1, uint8_t p2, uint8_t lc,
                                uint8_t length, uint8_t *out, uint16_t *sw);
/* UPDATE BINARY of the selected file: (card, 0, offset high, offset low, length 1..128, data). */
int32_t CARDCMD_API Update_Binary(int32_t card, uint8_t cla, uint8_t p1, uint8_t p2, uint8_t lc,
                                  const uint8_t *data, uint16_t *sw);
/* Application a (0..7), container c (0..7): empties its signing (EF02, `signing` nonzero) or
 * encryption (EF01) certificate file and clears the entry's flag. 0, or -1. */
int32_t CARDCMD_API QX_DeleteCert(int32_t card, int32_t application, int32_t container,
                                  int32_t signing);
/* Application a (0..7): frees every container entry of its container directory; the PIN
 * information and the containers' files stay. 0, or -1. */
int32_t CARDCMD_API QX_ClearDir(int32_t card, int32_t application);

/* The key's certificates into the current user's "MY" store as QX_AddCertToIE does, the key
 * given by its handle: (0, card, 0, 0, 0); result = number registered, > 0 success. */
int32_t CARDCMD_API QX_StoreCert(int32_t reserved, int32_t card, int32_t reserved2,
                                 int32_t reserved3, int32_t reserved4);

/* User PIN of the application last selected (DF AD0n); its PIN information file is kept as the
 * SKF library keeps it. The PIN is `length` (1..16) bytes of `pin`; the change buffer is old
 * PIN, one byte 0xFF, new PIN (1..16 characters each), `length` its size. -1000 also when no
 * application is selected, for a malformed PIN or buffer, and when the record cannot be
 * written. */
int32_t CARDCMD_API QX_VerifyPinUpDatePinInfoFile(int32_t card, const char *pin, int32_t length);
int32_t CARDCMD_API QX_ChangePin(int32_t card, int32_t length, const uint8_t *change);

/* Certificates of the key in the named reader into the current user's "MY" store:
 * (0, reader name, 0, 0, 0, 0, 0, out[64]); result = number of the key's certificates that
 * are in the store on its account (added now or before), negative when the key or the store
 * cannot be opened. A certificate the store held already on another account is left alone and
 * not counted. `out` is not written. */
int32_t CARDCMD_API QX_AddCertToIE(int32_t reserved, const char *reader_name, int32_t r2,
                                   int32_t r3, int32_t r4, int32_t r5, int32_t r6, char *out);
/* As QX_AddCertToIE; `out` (64 bytes, may be NULL) receives the line for the user,
 * "有%d张证书导入到IE中。" (code page 936), or an empty text when the result is below 1. */
int32_t CARDCMD_API QX_AddCertToIE_Tip(int32_t reserved, const char *reader_name, int32_t r2,
                                       int32_t r3, int32_t r4, int32_t r5, int32_t r6, char *out);
/* As QX_AddCertToIE_Tip with the whole arrival message: "USBKey已经插入。" and, when the result
 * is above 0, the count line after a line break. */
int32_t CARDCMD_API QX_AddCertToIE_TipEx(int32_t reserved, const char *reader_name, int32_t r2,
                                         int32_t r3, int32_t r4, int32_t r5, int32_t r6, char *out);
/* Takes out exactly the certificates that key put there: (0, reader name, 0, 0, out[64]);
 * the key need not be present. One that another key present carries as well stays in the store,
 * on that key's account from then on. Result = number removed, negative when the store cannot
 * be opened. `out` is not written. */
int32_t CARDCMD_API QX_DelCertFrIE(int32_t reserved, const char *reader_name, int32_t r2,
                                   int32_t r3, char *out);

#ifdef __cplusplus
}
#endif

#endif /* CARDCMD_H */
