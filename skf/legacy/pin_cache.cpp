// tokenbase keeps no PIN shared with other processes: the ZOLTACSP mapping is never opened, so
// the private-key operations take the PIN from the process's own PIN slots only.
#include "skf/card/pin_cache.h"

int GetPin_FromMap(char * /*pin*/) { return -2; }  // as for a mapping that does not exist

int SetPin_ToMap(const char * /*pin*/) { return -1; }
