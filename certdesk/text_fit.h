// Texts from the card or a certificate cut to a fixed field.
#pragma once

#include <cstddef>

namespace certdesk {

// Copies the NUL-terminated text of at most `source_size` bytes into `field` (`field_size`
// bytes, NUL included), cut where it does not fit, never inside a double-byte character of
// the ANSI code page.
void FitText(char *field, std::size_t field_size, const char *source, std::size_t source_size);

}  // namespace certdesk
