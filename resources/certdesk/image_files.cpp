#include "image_files.h"

#include <fstream>

namespace art {

namespace {

using Bytes = std::vector<std::uint8_t>;

void U16(Bytes &b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void U32(Bytes &b, unsigned v) {
  U16(b, v & 0xFFFF);
  U16(b, v >> 16);
}

// BITMAPINFOHEADER; `height` as stored (an icon stores twice the image's).
void InfoHeader(Bytes &b, int width, int height, int bits, unsigned image_size, int colours) {
  U32(b, 40);
  U32(b, static_cast<unsigned>(width));
  U32(b, static_cast<unsigned>(height));
  U16(b, 1);
  U16(b, static_cast<unsigned>(bits));
  U32(b, 0);  // BI_RGB
  U32(b, image_size);
  U32(b, 2835);  // 72 dpi
  U32(b, 2835);
  U32(b, static_cast<unsigned>(colours));
  U32(b, 0);
}

int Stride(int width, int bits) { return (width * bits + 31) / 32 * 4; }

bool Save(const std::string &path, const Bytes &b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
  return static_cast<bool>(f);
}

void FileHeader(Bytes &b, unsigned offset, unsigned size) {
  b.push_back('B');
  b.push_back('M');
  U32(b, size);
  U32(b, 0);
  U32(b, offset);
}

int WebSafeLevel(std::uint8_t v) { return v % 0x33 == 0 ? v / 0x33 : -1; }

}  // namespace

bool WriteBitmap24(const std::string &path, const Canvas &canvas) {
  const int w = canvas.width(), h = canvas.height(), stride = Stride(w, 24);
  const auto pixels = canvas.Pixels();
  Bytes b;
  FileHeader(b, 54, 54 + static_cast<unsigned>(stride * h));
  InfoHeader(b, w, h, 24, static_cast<unsigned>(stride * h), 0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const Colour &c = pixels[static_cast<std::size_t>(y) * w + x];
      b.insert(b.end(), {c.b, c.g, c.r});
    }
    b.resize(b.size() + static_cast<std::size_t>(stride - w * 3), 0);
  }
  return Save(path, b);
}

bool WriteBitmap8(const std::string &path, const Canvas &canvas) {
  const int w = canvas.width(), h = canvas.height(), stride = Stride(w, 8);
  const auto pixels = canvas.Pixels();
  constexpr int kColours = 216;
  const unsigned offset = 54 + kColours * 4;
  Bytes b;
  FileHeader(b, offset, offset + static_cast<unsigned>(stride * h));
  InfoHeader(b, w, h, 8, static_cast<unsigned>(stride * h), kColours);
  for (int i = 0; i < kColours; ++i) {  // index = 36 r + 6 g + b
    b.insert(b.end(),
             {static_cast<std::uint8_t>(i % 6 * 0x33), static_cast<std::uint8_t>(i / 6 % 6 * 0x33),
              static_cast<std::uint8_t>(i / 36 * 0x33), 0});
  }
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const Colour &c = pixels[static_cast<std::size_t>(y) * w + x];
      const int r = WebSafeLevel(c.r), g = WebSafeLevel(c.g), bl = WebSafeLevel(c.b);
      if (r < 0 || g < 0 || bl < 0) return false;
      b.push_back(static_cast<std::uint8_t>(36 * r + 6 * g + bl));
    }
    b.resize(b.size() + static_cast<std::size_t>(stride - w), 0);
  }
  return Save(path, b);
}

bool WriteIcon(const std::string &path, const std::vector<const Canvas *> &images) {
  Bytes b, data;
  U16(b, 0);
  U16(b, 1);  // icon
  U16(b, static_cast<unsigned>(images.size()));
  unsigned offset = 6 + 16 * static_cast<unsigned>(images.size());
  for (const Canvas *image : images) {
    const int w = image->width(), h = image->height();
    const int mask_stride = Stride(w, 1);
    const auto pixels = image->Pixels();
    Bytes one;
    InfoHeader(one, w, 2 * h, 32, 0, 0);
    for (int y = h - 1; y >= 0; --y) {
      for (int x = 0; x < w; ++x) {
        const Colour &c = pixels[static_cast<std::size_t>(y) * w + x];
        one.insert(one.end(), {c.b, c.g, c.r, c.a});
      }
    }
    for (int y = h - 1; y >= 0; --y) {
      Bytes row(static_cast<std::size_t>(mask_stride), 0);
      for (int x = 0; x < w; ++x) {
        if (pixels[static_cast<std::size_t>(y) * w + x].a == 0) row[x / 8] |= 0x80 >> (x % 8);
      }
      one.insert(one.end(), row.begin(), row.end());
    }
    b.insert(b.end(), {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(h), 0, 0});
    U16(b, 1);
    U16(b, 32);
    U32(b, static_cast<unsigned>(one.size()));
    U32(b, offset);
    offset += static_cast<unsigned>(one.size());
    data.insert(data.end(), one.begin(), one.end());
  }
  b.insert(b.end(), data.begin(), data.end());
  return Save(path, b);
}

}  // namespace art
