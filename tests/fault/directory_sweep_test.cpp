// Fault sweeps of the exports that write the card's directories: format, label, applications,
// containers, files and certificates.
#include <string>

#include "fault_sweep.h"

namespace {

using fault::Session;

class DirectorySweep : public VirtualKeyTest {};

bool Lists(const std::string &list, const std::string &name) {
  return list.find(name + '\0') != std::string::npos;
}

TEST_F(DirectorySweep, FormatCard) {
  fault::Export e;
  e.name = "SKF_FormatCard";
  // 1 card information (not tested), 2-3 the built-in authentication, which falls back to
  // the caller's key.
  e.passed_over = {1, 2, 3};
  e.call = [](Session &) {
    char key[] = "1234567812345678";
    return SKF(SKF_FormatCard)(key);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    // A failed format leaves the card partly formatted, its directory perhaps unreadable;
    // formatting again makes it whole.
    if (result != SAR_OK) {
      char key[] = "1234567812345678";
      ASSERT_EQ(SKF(SKF_FormatCard)(key), SAR_OK) << "a second format";
    }
    EXPECT_EQ(fault::Applications(s.dev), std::string(1, '\0'));
  };
  fault::Sweep(*this, e);
}

TEST_F(DirectorySweep, SetLabel) {
  fault::Export e;
  e.name = "SKF_SetLabel";
  // 1 the MF selection before the read (not tested).
  e.passed_over = {1};
  e.call = [](Session &s) { return SKF(SKF_SetLabel)(s.dev, "FAULT-LABEL"); };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    DEVINFO info{};
    ASSERT_EQ(SKF(SKF_GetDevInfo)(s.dev, &info), SAR_OK);
    const std::string label(info.Label, strnlen(info.Label, sizeof info.Label));
    if (result == SAR_OK) {
      EXPECT_EQ(label, "FAULT-LABEL");
    }
  };
  fault::Sweep(*this, e);
}

TEST_F(DirectorySweep, CreateApplication) {
  fault::Export e;
  e.name = "SKF_CreateApplication";
  // 1 the MF selection before the read; 14 the selection of the DF, whose failure means
  // "create it".
  e.passed_over = {1, 14};
  e.dev_auth = true;
  e.call = [](Session &s) {
    char name[] = "FAULT-APP", pin[] = "12345678";
    HAPPLICATION app = nullptr;
    return SKF(SKF_CreateApplication)(s.dev, name, pin, 10, pin, 10, SECURE_ANYONE_ACCOUNT, &app);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    const std::string apps = fault::Applications(s.dev);
    EXPECT_TRUE(Lists(apps, "KEYSIM-APP"));
    if (result == SAR_OK) {
      EXPECT_TRUE(Lists(apps, "FAULT-APP"));
    }
    if (Lists(apps, "FAULT-APP")) return;
    // The DF may be left without its entry: the next create of that number prepares it.
    const BYTE any[16] = {};
    ASSERT_EQ(SKF(SKF_DevAuth)(s.dev, any, sizeof any), SAR_OK);
    char name[] = "FAULT-APP", pin[] = "12345678";
    HAPPLICATION app = nullptr;
    EXPECT_EQ(
        SKF(SKF_CreateApplication)(s.dev, name, pin, 10, pin, 10, SECURE_ANYONE_ACCOUNT, &app),
        SAR_OK);
    ULONG max = 0, left = 0;
    BOOL is_default = FALSE;
    EXPECT_EQ(SKF(SKF_GetPINInfo)(app, USER_TYPE, &max, &left, &is_default), SAR_OK);
  };
  fault::Sweep(*this, e);
}

TEST_F(DirectorySweep, DeleteApplication) {
  fault::Export e;
  e.name = "SKF_DeleteApplication";
  // 1 the MF selection before the read.
  e.passed_over = {1};
  e.dev_auth = true;
  e.call = [](Session &s) {
    char name[] = "KEYSIM-APP";
    return SKF(SKF_DeleteApplication)(s.dev, name);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    if (result == SAR_OK) {
      EXPECT_FALSE(Lists(fault::Applications(s.dev), "KEYSIM-APP"));
    }
  };
  fault::Sweep(*this, e);
}

TEST_F(DirectorySweep, CreateContainer) {
  fault::Export e;
  e.name = "SKF_CreateContainer";
  // 1 the MF selection before the read; 24 the selection of the container DF, whose failure
  // means "create it".
  e.passed_over = {1, 24};
  e.open_app = true;
  e.call = [](Session &s) {
    char name[] = "FAULT-CONTAINER";
    HCONTAINER c = nullptr;
    return SKF(SKF_CreateContainer)(s.app, name, &c);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    const std::string list = fault::Containers(s.app);
    if (result == SAR_OK) {
      EXPECT_TRUE(Lists(list, "FAULT-CONTAINER"));
    }
    if (Lists(list, "FAULT-CONTAINER")) return;
    // The DF may be left without its entry: the next create on that entry prepares it.
    char name[] = "FAULT-CONTAINER";
    HCONTAINER c = nullptr;
    EXPECT_EQ(SKF(SKF_CreateContainer)(s.app, name, &c), SAR_OK);
  };
  fault::Sweep(*this, e);
}

TEST_F(DirectorySweep, DeleteContainer) {
  fault::Export e;
  e.name = "SKF_DeleteContainer";
  // 1 the MF selection before the read.
  e.passed_over = {1};
  e.open_app = true;
  e.call = [](Session &s) {
    char name[] = "RSA-CONTAINER";
    return SKF(SKF_DeleteContainer)(s.app, name);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    const std::string list = fault::Containers(s.app);
    EXPECT_TRUE(Lists(list, "SM2-CONTAINER"));
    if (result == SAR_OK) {
      EXPECT_FALSE(Lists(list, "RSA-CONTAINER"));
    }
  };
  fault::Sweep(*this, e);
}

TEST_F(DirectorySweep, CreateFile) {
  fault::Export e;
  e.name = "SKF_CreateFile";
  // 1 the MF selection before the read; 15 the file area DF, optional; 27-29 the
  // authentication and CREATE FILE of the data EF, which are retried once after a delete.
  e.passed_over = {1, 15, 27, 28, 29};
  e.open_app = true;
  e.call = [](Session &s) {
    char name[] = "FAULT-FILE";
    return SKF(SKF_CreateFile)(s.app, name, 300, SECURE_ANYONE_ACCOUNT, SECURE_ANYONE_ACCOUNT);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    if (result == SAR_OK) {
      EXPECT_TRUE(Lists(fault::Files(s.app), "FAULT-FILE"));
    }
    if (Lists(fault::Files(s.app), "FAULT-FILE")) return;
    // A data EF may be left without its record: the next create deletes and makes it again.
    char name[] = "FAULT-FILE";
    EXPECT_EQ(SKF(SKF_CreateFile)(s.app, name, 300, SECURE_ANYONE_ACCOUNT, SECURE_ANYONE_ACCOUNT),
              SAR_OK);
  };
  fault::Sweep(*this, e);
}

void CreateFile(VirtualKeyTest &, Session &s) {
  char name[] = "FAULT-FILE";
  ASSERT_EQ(SKF(SKF_CreateFile)(s.app, name, 300, SECURE_ANYONE_ACCOUNT, SECURE_ANYONE_ACCOUNT),
            SAR_OK);
}

TEST_F(DirectorySweep, WriteFile) {
  fault::Export e;
  e.name = "SKF_WriteFile";
  // 3 the file area DF, optional.
  e.passed_over = {3};
  e.open_app = true;
  e.setup = CreateFile;
  e.call = [](Session &s) {
    char name[] = "FAULT-FILE";
    vkey::Bytes data(300, 0x5A);
    return SKF(SKF_WriteFile)(s.app, name, 0, data.data(), 300);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    char name[] = "FAULT-FILE";
    BYTE data[300] = {};
    ULONG size = sizeof data;
    ASSERT_EQ(SKF(SKF_ReadFile)(s.app, name, 0, 300, data, &size), SAR_OK);
    if (result == SAR_OK) {
      EXPECT_EQ(vkey::Bytes(data, data + size), vkey::Bytes(300, 0x5A));
    }
  };
  fault::Sweep(*this, e);
}

TEST_F(DirectorySweep, DeleteFile) {
  fault::Export e;
  e.name = "SKF_DeleteFile";
  // 15 the file area DF, optional.
  e.passed_over = {15};
  e.open_app = true;
  e.setup = CreateFile;
  e.call = [](Session &s) {
    char name[] = "FAULT-FILE";
    return SKF(SKF_DeleteFile)(s.app, name);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    char name[] = "FAULT-FILE";
    if (result == SAR_OK) {
      EXPECT_FALSE(Lists(fault::Files(s.app), "FAULT-FILE"));
    }
    if (!Lists(fault::Files(s.app), "FAULT-FILE")) return;
    // The EF goes before the record: a record may be left without its EF, which then
    // reads as a failure; deleting again frees the record.
    BYTE data[8];
    ULONG size = sizeof data;
    const ULONG read = SKF(SKF_ReadFile)(s.app, name, 0, 8, data, &size);
    EXPECT_TRUE(read == SAR_OK || read == SAR_FAIL) << std::hex << read;
    EXPECT_EQ(SKF(SKF_DeleteFile)(s.app, name), SAR_OK);
  };
  fault::Sweep(*this, e);
}

TEST_F(DirectorySweep, ImportCertificate) {
  fault::Export e;
  e.name = "SKF_ImportCertificate";
  e.open_app = true;
  e.container = "EMPTY";
  e.setup = fault::CreateEmptyContainer;
  e.call = [](Session &s) {
    vkey::Bytes cert(1000, 0xC3);
    return SKF(SKF_ImportCertificate)(s.container, TRUE, cert.data(), 1000);
  };
  e.after = [](VirtualKeyTest &, Session &s, ULONG result) {
    fault::ExpectDirectoriesReadable(s.dev);
    // The certificate is written before its flag: a failure leaves it unflagged, and the
    // export refuses it; a flagged one is whole.
    BYTE cert[2048];
    ULONG size = sizeof cert;
    const ULONG got = SKF(SKF_ExportCertificate)(s.container, TRUE, cert, &size);
    if (result == SAR_OK) {
      ASSERT_EQ(got, SAR_OK);
    }
    if (got == SAR_OK) {
      EXPECT_EQ(vkey::Bytes(cert, cert + size), vkey::Bytes(1000, 0xC3));
    } else {
      EXPECT_EQ(got, SAR_FAIL);
    }
  };
  fault::Sweep(*this, e);
}

}  // namespace
