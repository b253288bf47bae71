// The file formats of the artwork: Windows bitmaps (24-bit, or 8-bit on the web-safe palette)
// and icons with several sizes.
#pragma once

#include <string>
#include <vector>

#include "canvas.h"

namespace art {

bool WriteBitmap24(const std::string &path, const Canvas &canvas);
// Every pixel must be one of the 216 web-safe colours (channels 0x00, 0x33 .. 0xFF).
bool WriteBitmap8(const std::string &path, const Canvas &canvas);
// 32-bit images with alpha and their AND masks, largest first.
bool WriteIcon(const std::string &path, const std::vector<const Canvas *> &images);

}  // namespace art
