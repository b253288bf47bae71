// The event wait and the reader list: the replay reader lists the names of one chunk per list
// call, so the wait sees keys arrive and leave.
#include "fuzz/harness/families.h"

namespace fuzz {

namespace {

void Wait(Run &, unsigned variant) {
  static const ULONG kSizes[] = {8, 7, 300, 12};
  char name[300] = {};
  ULONG size = kSizes[variant & 3];
  ULONG event = 0;
  SKF_WaitForDevEvent(variant & 4 ? nullptr : name, &size, &event);
}

void Cancel(Run &, unsigned) { SKF_CancelWaitForDevEvent(); }

void EnumDev(Run &, unsigned variant) {
  char names[300] = {};
  ULONG size = variant & 1 ? 6 : sizeof names;
  SKF_EnumDev(TRUE, variant & 2 ? nullptr : names, &size);
}

void Format(Run &, unsigned) {
  char key[] = "1234567812345678";
  SKF_FormatCard(key);
}

const Operation kOps[] = {
    {"wait", Wait}, {"cancel", Cancel}, {"enum_dev", EnumDev}, {"format", Format}};

}  // namespace

std::span<const Operation> EventWaitOps() { return kOps; }

}  // namespace fuzz
