// The public header in C++: layouts, export declarations, return codes and identifiers.
#include <cstddef>
#include <iterator>

#include <gtest/gtest.h>

#include "skf.h"
#include "skf_layout_cases.h"

namespace {

#define SIZE_IS(type, size) static_assert(sizeof(type) == (size), "size of " #type);
#define OFFSET_IS(type, field, offset) \
  static_assert(offsetof(type, field) == (offset), "offset of " #type "." #field);
#define TYPE_HOLDS(condition) static_assert(condition, #condition);

SKF_SIZE_CASES(SIZE_IS)
SKF_OFFSET_CASES(OFFSET_IS)
SKF_TYPE_CASES(TYPE_HOLDS)

// Every export: declared, returning ULONG, with __stdcall on Windows (on i686 a __cdecl
// declaration does not convert to the __stdcall pointer and fails to compile).
#ifdef _WIN32
#define EXPORT_CONVENTION __stdcall
#else
#define EXPORT_CONVENTION
#endif
template <class... Args>
constexpr bool IsExport(ULONG(EXPORT_CONVENTION *)(Args...)) {
  return true;
}

#define SKF_EXPORTS(X)                      \
  X(SKF_WaitForDevEvent)                    \
  X(SKF_CancelWaitForDevEvent)              \
  X(SKF_EnumDev)                            \
  X(SKF_ConnectDev)                         \
  X(SKF_DisConnectDev)                      \
  X(SKF_GetDevState)                        \
  X(SKF_SetLabel)                           \
  X(SKF_GetDevInfo)                         \
  X(SKF_LockDev)                            \
  X(SKF_UnlockDev)                          \
  X(SKF_Transmit)                           \
  X(SKF_ChangeDevAuthKey)                   \
  X(SKF_DevAuth)                            \
  X(SKF_ChangePIN)                          \
  X(SKF_GetPINInfo)                         \
  X(SKF_VerifyPIN)                          \
  X(SKF_UnblockPIN)                         \
  X(SKF_ClearSecureState)                   \
  X(SKF_CreateApplication)                  \
  X(SKF_EnumApplication)                    \
  X(SKF_DeleteApplication)                  \
  X(SKF_OpenApplication)                    \
  X(SKF_CloseApplication)                   \
  X(SKF_CreateFile)                         \
  X(SKF_DeleteFile)                         \
  X(SKF_EnumFiles)                          \
  X(SKF_GetFileInfo)                        \
  X(SKF_ReadFile)                           \
  X(SKF_WriteFile)                          \
  X(SKF_CreateContainer)                    \
  X(SKF_DeleteContainer)                    \
  X(SKF_OpenContainer)                      \
  X(SKF_CloseContainer)                     \
  X(SKF_EnumContainer)                      \
  X(SKF_GetContainerType)                   \
  X(SKF_ImportCertificate)                  \
  X(SKF_ExportCertificate)                  \
  X(SKF_GenRandom)                          \
  X(SKF_GenExtRSAKey)                       \
  X(SKF_GenRSAKeyPair)                      \
  X(SKF_ImportRSAKeyPair)                   \
  X(SKF_RSASignData)                        \
  X(SKF_RSAVerify)                          \
  X(SKF_RSAExportSessionKey)                \
  X(SKF_ExtRSAPubKeyOperation)              \
  X(SKF_ExtRSAPriKeyOperation)              \
  X(SKF_GenECCKeyPair)                      \
  X(SKF_ImportECCKeyPair)                   \
  X(SKF_ECCSignData)                        \
  X(SKF_ECCVerify)                          \
  X(SKF_ECCExportSessionKey)                \
  X(SKF_ExtECCEncrypt)                      \
  X(SKF_ExtECCDecrypt)                      \
  X(SKF_ExtECCSign)                         \
  X(SKF_ExtECCVerify)                       \
  X(SKF_GenerateAgreementDataWithECC)       \
  X(SKF_GenerateAgreementDataAndKeyWithECC) \
  X(SKF_GenerateKeyWithECC)                 \
  X(SKF_ExportPublicKey)                    \
  X(SKF_ImportSessionKey)                   \
  X(SKF_SetSymmKey)                         \
  X(SKF_EncryptInit)                        \
  X(SKF_Encrypt)                            \
  X(SKF_EncryptUpdate)                      \
  X(SKF_EncryptFinal)                       \
  X(SKF_DecryptInit)                        \
  X(SKF_Decrypt)                            \
  X(SKF_DecryptUpdate)                      \
  X(SKF_DecryptFinal)                       \
  X(SKF_MacInit)                            \
  X(SKF_Mac)                                \
  X(SKF_MacUpdate)                          \
  X(SKF_MacFinal)                           \
  X(SKF_CloseHandle)                        \
  X(SKF_DigestInit)                         \
  X(SKF_Digest)                             \
  X(SKF_DigestUpdate)                       \
  X(SKF_DigestFinal)                        \
  X(SKF_FormatCard)                         \
  X(SKF_GenExtEccKey)                       \
  X(SKF_PrvKeyDecrypt)                      \
  X(SKFEX_ECCDecrypt)                       \
  X(SKF_GetRsaType)                         \
  X(SKF_GetContianerType)                   \
  X(SKF_GetContianerProperty)               \
  X(SKF_PriRsaDecrypt)                      \
  X(SKF_PrvRsaKeyDecrypt)                   \
  X(SKFEX_RSADecrypt)

#define IS_EXPORT(name) static_assert(IsExport(&name), #name);
SKF_EXPORTS(IS_EXPORT)

#define COUNT_ONE(name) +1
static_assert(0 SKF_EXPORTS(COUNT_ONE) == 88, "tokencore's export set");

}  // namespace

// Redeclared with C linkage: a header without its extern "C" guard makes this a conflicting
// declaration, so C++ hosts would not link against the library's unmangled names.
extern "C" ULONG DEVAPI SKF_CloseHandle(HANDLE hHandle);
extern "C" ULONG DEVAPI SKFEX_RSADecrypt(HCONTAINER hContainer, BYTE *pbInput, ULONG ulInputLen,
                                         BYTE *pbOutput, ULONG *pulOutputLen, ULONG ulUsage);

namespace {

struct Constant {
  const char *name;
  unsigned long value;
  unsigned long expected;
};

#define ROW(name, expected) \
  { #name, static_cast < unsigned long>(name), (expected) }

constexpr Constant kReturnCodes[] = {
    ROW(SAR_OK, 0x00000000),
    ROW(SAR_FAIL, 0x0A000001),
    ROW(SAR_NOTSUPPORTYETERR, 0x0A000003),
    ROW(SAR_FILEERR, 0x0A000004),
    ROW(SAR_INVALIDHANDLEERR, 0x0A000005),
    ROW(SAR_INVALIDPARAMERR, 0x0A000006),
    ROW(SAR_NAMELENERR, 0x0A000009),
    ROW(SAR_MODULUSLENERR, 0x0A00000B),
    ROW(SAR_INDATALENERR, 0x0A000010),
    ROW(SAR_RSAMODULUSLENERR, 0x0A000016),
    ROW(SAR_BUFFER_TOO_SMALL, 0x0A000020),
    ROW(SAR_NOT_EVENTERR, 0x0A000022),
    ROW(SAR_PIN_INCORRECT, 0x0A000024),
    ROW(SAR_PIN_LOCKED, 0x0A000025),
    ROW(SAR_PIN_INVALID, 0x0A000026),
    ROW(SAR_PIN_LEN_RANGE, 0x0A000027),
    ROW(SAR_USER_TYPE_INVALID, 0x0A00002A),
    ROW(SAR_APPLICATION_NAME_INVALID, 0x0A00002B),
    ROW(SAR_APPLICATION_EXISTS, 0x0A00002C),
    ROW(SAR_USER_NOT_LOGGED_IN, 0x0A00002D),
    ROW(SAR_APPLICATION_NOT_EXISTS, 0x0A00002E),
    ROW(SAR_FILE_ALREADY_EXIST, 0x0A00002F),
    ROW(SAR_NO_ROOM, 0x0A000030),
    ROW(SAR_FILE_NOT_EXIST, 0x0A000031),
};

constexpr Constant kIdentifiers[] = {
    ROW(SGD_SM1_ECB, 0x101),
    ROW(SGD_SM1_CBC, 0x102),
    ROW(SGD_SM1_MAC, 0x110),
    ROW(SGD_SSF33_ECB, 0x201),
    ROW(SGD_SSF33_CBC, 0x202),
    ROW(SGD_SSF33_MAC, 0x210),
    ROW(SGD_SMS4_ECB, 0x401),
    ROW(SGD_SMS4_CBC, 0x402),
    ROW(SGD_SMS4_MAC, 0x410),
    ROW(SGD_RSA, 0x10000),
    ROW(SGD_SM2_1, 0x20100),
    ROW(SGD_SM2_2, 0x20200),
    ROW(SGD_SM2_3, 0x20400),
    ROW(SGD_SM2_ENC_PAIR, 0x20800),
    ROW(SGD_SM3, 1),
    ROW(SGD_SHA1, 2),
    ROW(SGD_SHA256, 4),
    ROW(ADMIN_TYPE, 0),
    ROW(USER_TYPE, 1),
    ROW(SECURE_NEVER_ACCOUNT, 0x00),
    ROW(SECURE_ADM_ACCOUNT, 0x01),
    ROW(SECURE_USER_ACCOUNT, 0x10),
    ROW(SECURE_ANYONE_ACCOUNT, 0xFF),
    ROW(DEV_ABSENT_STATE, 0),
    ROW(DEV_PRESENT_STATE, 1),
    ROW(DEV_UNKNOW_STATE, 2),
    ROW(MAX_RSA_MODULUS_LEN, 256),
    ROW(MAX_RSA_EXPONENT_LEN, 4),
    ROW(ECC_MAX_XCOORDINATE_BITS_LEN, 512),
    ROW(ECC_MAX_YCOORDINATE_BITS_LEN, 512),
    ROW(ECC_MAX_MODULUS_BITS_LEN, 512),
    ROW(MAX_IV_LEN, 32),
    ROW(TRUE, 1),
    ROW(FALSE, 0),
};

void ExpectTable(const Constant *rows, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_EQ(rows[i].value, rows[i].expected);
  }
}

TEST(SkfHeader, ReturnCodesHaveTheirValues) { ExpectTable(kReturnCodes, std::size(kReturnCodes)); }

TEST(SkfHeader, IdentifiersAndConstantsHaveTheirValues) {
  ExpectTable(kIdentifiers, std::size(kIdentifiers));
}

}  // namespace
