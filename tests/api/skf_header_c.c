/* The header compiled as strict C: the same layout as in C++. */
#include <stddef.h>

#include "skf.h"
#include "skf_layout_cases.h"

#define SIZE_IS(type, size) _Static_assert(sizeof(type) == (size), "size of " #type);
#define OFFSET_IS(type, field, offset) \
  _Static_assert(offsetof(type, field) == (offset), "offset of " #type "." #field);
#define TYPE_HOLDS(condition) _Static_assert(condition, #condition);

SKF_SIZE_CASES(SIZE_IS)
SKF_OFFSET_CASES(OFFSET_IS)
SKF_TYPE_CASES(TYPE_HOLDS)
