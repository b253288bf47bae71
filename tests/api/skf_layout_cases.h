/* Layout of the public types, as host programs depend on it. Shared by the C and the C++
 * translation units so that both languages are held to the same table. */
#ifndef SKF_LAYOUT_CASES_H
#define SKF_LAYOUT_CASES_H

/* X(type, size) */
#define SKF_SIZE_CASES(X)    \
  X(VERSION, 2)              \
  X(DEVINFO, 294)            \
  X(RSAPUBLICKEYBLOB, 268)   \
  X(RSAPRIVATEKEYBLOB, 1164) \
  X(ECCPUBLICKEYBLOB, 132)   \
  X(ECCPRIVATEKEYBLOB, 68)   \
  X(ECCCIPHERBLOB, 165)      \
  X(ECCSIGNATUREBLOB, 128)   \
  X(ENVELOPEDKEYBLOB, 373)   \
  X(BLOCKCIPHERPARAM, 44)    \
  X(FILEATTRIBUTE, 44)

/* X(type, field, offset) */
#define SKF_OFFSET_CASES(X)                  \
  X(VERSION, major, 0)                       \
  X(VERSION, minor, 1)                       \
  X(DEVINFO, Version, 0)                     \
  X(DEVINFO, Manufacturer, 2)                \
  X(DEVINFO, Issuer, 66)                     \
  X(DEVINFO, Label, 130)                     \
  X(DEVINFO, SerialNumber, 162)              \
  X(DEVINFO, HWVersion, 194)                 \
  X(DEVINFO, FirmwareVersion, 196)           \
  X(DEVINFO, AlgSymCap, 198)                 \
  X(DEVINFO, AlgAsymCap, 202)                \
  X(DEVINFO, AlgHashCap, 206)                \
  X(DEVINFO, DevAuthAlgId, 210)              \
  X(DEVINFO, TotalSpace, 214)                \
  X(DEVINFO, FreeSpace, 218)                 \
  X(DEVINFO, MaxECCBufferSize, 222)          \
  X(DEVINFO, MaxBufferSize, 226)             \
  X(DEVINFO, Reserved, 230)                  \
  X(RSAPUBLICKEYBLOB, AlgID, 0)              \
  X(RSAPUBLICKEYBLOB, BitLen, 4)             \
  X(RSAPUBLICKEYBLOB, Modulus, 8)            \
  X(RSAPUBLICKEYBLOB, PublicExponent, 264)   \
  X(RSAPRIVATEKEYBLOB, AlgID, 0)             \
  X(RSAPRIVATEKEYBLOB, BitLen, 4)            \
  X(RSAPRIVATEKEYBLOB, Modulus, 8)           \
  X(RSAPRIVATEKEYBLOB, PublicExponent, 264)  \
  X(RSAPRIVATEKEYBLOB, PrivateExponent, 268) \
  X(RSAPRIVATEKEYBLOB, Prime1, 524)          \
  X(RSAPRIVATEKEYBLOB, Prime2, 652)          \
  X(RSAPRIVATEKEYBLOB, Prime1Exponent, 780)  \
  X(RSAPRIVATEKEYBLOB, Prime2Exponent, 908)  \
  X(RSAPRIVATEKEYBLOB, Coefficient, 1036)    \
  X(ECCPUBLICKEYBLOB, BitLen, 0)             \
  X(ECCPUBLICKEYBLOB, XCoordinate, 4)        \
  X(ECCPUBLICKEYBLOB, YCoordinate, 68)       \
  X(ECCPRIVATEKEYBLOB, BitLen, 0)            \
  X(ECCPRIVATEKEYBLOB, PrivateKey, 4)        \
  X(ECCCIPHERBLOB, XCoordinate, 0)           \
  X(ECCCIPHERBLOB, YCoordinate, 64)          \
  X(ECCCIPHERBLOB, HASH, 128)                \
  X(ECCCIPHERBLOB, CipherLen, 160)           \
  X(ECCCIPHERBLOB, Cipher, 164)              \
  X(ECCSIGNATUREBLOB, r, 0)                  \
  X(ECCSIGNATUREBLOB, s, 64)                 \
  X(ENVELOPEDKEYBLOB, Version, 0)            \
  X(ENVELOPEDKEYBLOB, ulSymmAlgID, 4)        \
  X(ENVELOPEDKEYBLOB, ulBits, 8)             \
  X(ENVELOPEDKEYBLOB, cbEncryptedPriKey, 12) \
  X(ENVELOPEDKEYBLOB, PubKey, 76)            \
  X(ENVELOPEDKEYBLOB, ECCCipherBlob, 208)    \
  X(BLOCKCIPHERPARAM, IV, 0)                 \
  X(BLOCKCIPHERPARAM, IVLen, 32)             \
  X(BLOCKCIPHERPARAM, PaddingType, 36)       \
  X(BLOCKCIPHERPARAM, FeedBitLen, 40)        \
  X(FILEATTRIBUTE, FileName, 0)              \
  X(FILEATTRIBUTE, FileSize, 32)             \
  X(FILEATTRIBUTE, ReadRights, 36)           \
  X(FILEATTRIBUTE, WriteRights, 40)

/* X(condition): widths and signedness of the basic types. */
#define SKF_TYPE_CASES(X)                      \
  X(sizeof(BYTE) == 1 && (BYTE)-1 > 0)         \
  X(sizeof(CHAR) == 1)                         \
  X(sizeof(SHORT) == 2 && (SHORT)-1 < 0)       \
  X(sizeof(USHORT) == 2 && (USHORT)-1 > 0)     \
  X(sizeof(WORD) == 2 && (WORD)-1 > 0)         \
  X(sizeof(INT) == 4 && (INT)-1 < 0)           \
  X(sizeof(UINT) == 4 && (UINT)-1 > 0)         \
  X(sizeof(LONG) == 4 && (LONG)-1 < 0)         \
  X(sizeof(ULONG) == 4 && (ULONG)-1 > 0)       \
  X(sizeof(DWORD) == 4 && (DWORD)-1 > 0)       \
  X(sizeof(FLAGS) == 4 && (FLAGS)-1 > 0)       \
  X(sizeof(BOOL) == 4 && (BOOL)-1 < 0)         \
  X(sizeof(INT8) == 1 && sizeof(UINT8) == 1)   \
  X(sizeof(INT16) == 2 && sizeof(UINT16) == 2) \
  X(sizeof(INT32) == 4 && sizeof(UINT32) == 4) \
  X(sizeof(LPSTR) == sizeof(void *))           \
  X(sizeof(HANDLE) == sizeof(void *))          \
  X(sizeof(DEVHANDLE) == sizeof(void *))       \
  X(sizeof(HAPPLICATION) == sizeof(void *))    \
  X(sizeof(HCONTAINER) == sizeof(void *))

#endif
