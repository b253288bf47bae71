#include "certdesk/text_fit.h"

#include <windows.h>

namespace certdesk {

void FitText(char *field, std::size_t field_size, const char *source, std::size_t source_size) {
  if (field_size == 0) return;
  std::size_t n = 0;
  while (n < source_size && source[n] != '\0') {
    const std::size_t width = IsDBCSLeadByte(static_cast<BYTE>(source[n])) ? 2 : 1;
    if (n + width > field_size - 1 || n + width > source_size ||
        (width == 2 && source[n + 1] == '\0')) {
      break;
    }
    n += width;
  }
  CopyMemory(field, source, n);
  field[n] = '\0';
}

}  // namespace certdesk
