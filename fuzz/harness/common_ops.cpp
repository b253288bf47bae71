#include "fuzz/harness/families.h"

namespace fuzz {

char *Numbered(char (&name)[8], unsigned variant) {
  name[5] = static_cast<char>('0' + variant % 3);
  return name;
}

void OpenApp(Run &run, unsigned variant) {
  char name[] = "KEYSIM-APP";
  if (variant & 1) name[0] = 'X';
  HAPPLICATION app = nullptr;
  if (SKF_OpenApplication(run.device, name, &app) == SAR_OK) run.app = run.Keep(app);
}

void VerifyUserPin(Run &run, unsigned variant) {
  char pin[] = "12345678";
  if (variant & 1) pin[0] = '9';
  ULONG retries = 0;
  SKF_VerifyPIN(run.app, variant & 2 ? ADMIN_TYPE : USER_TYPE, pin, &retries);
}

void OpenContainer(Run &run, unsigned variant) {
  char sm2[] = "SM2-CONTAINER";
  char rsa[] = "RSA-CONTAINER";
  HCONTAINER container = nullptr;
  if (SKF_OpenContainer(run.app, variant & 1 ? rsa : sm2, &container) == SAR_OK) {
    run.container = run.Keep(container);
  }
}

}  // namespace fuzz
