#include "skf/api/hash_handle.h"

HashHandle *NewHashHandle() { return NewRegistered<HashHandle>(HandleKind::hash); }
