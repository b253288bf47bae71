// certdesk's artwork, drawn by program so that it can be made again byte for byte:
//   certdesk_art OUTPUT_FOLDER
// writes the banner (102), the tree images (107), the strength meter (109..111), the pressed
// Caps and Shift keys (113..115) and the program icon (103).
#include <cmath>
#include <cstdio>
#include <string>

#include "canvas.h"
#include "image_files.h"

namespace {

using art::Canvas;
using art::Colour;

constexpr Colour kFace{0xF0, 0xF0, 0xF0};     // dialog background
constexpr Colour kMagenta{0xFF, 0x00, 0xFF};  // image-list mask
constexpr Colour kNavy{0x15, 0x3A, 0x6E};
constexpr Colour kBlue{0x1E, 0x4C, 0x8F};
constexpr Colour kKeyBlue{0x1F, 0x5F, 0xAF};
constexpr Colour kWhite{0xFF, 0xFF, 0xFF};
constexpr Colour kPaper{0xF7, 0xF9, 0xFC};
constexpr Colour kSilver{0xC9, 0xCF, 0xD8};
constexpr Colour kGold{0xE3, 0xB3, 0x41};
constexpr Colour kSeal{0xC8, 0x37, 0x2D};
constexpr Colour kLed{0x4C, 0xC3, 0x6B};
constexpr Colour kRule{0xA9, 0xB4, 0xC2};

Colour Alpha(Colour c, std::uint8_t a) { return {c.r, c.g, c.b, a}; }

// A certificate sheet with text rules and a seal, in a box of `w` × `h` at (x, y).
void Certificate(Canvas &c, double x, double y, double w, double h) {
  c.Rect(x + 1.5, y + 1.5, x + w + 1.5, y + h + 1.5, Alpha(kNavy, 120));  // shadow
  c.Rect(x, y, x + w, y + h, kPaper);
  for (int i = 0; i < 4; ++i) {
    const double ry = y + h * (0.2 + 0.14 * i);
    c.Rect(x + w * 0.15, ry, x + w * (i == 3 ? 0.55 : 0.85), ry + h * 0.05, kRule);
  }
  const double sx = x + w * 0.74, sy = y + h * 0.78, r = w * 0.15;
  c.Polygon({{sx - r * 0.8, sy}, {sx - r * 1.1, sy + r * 2}, {sx - r * 0.2, sy + r * 1.4}}, kSeal);
  c.Polygon({{sx + r * 0.8, sy}, {sx + r * 1.1, sy + r * 2}, {sx + r * 0.2, sy + r * 1.4}}, kSeal);
  c.Circle(sx, sy, r, kSeal);
  c.Circle(sx, sy, r * 0.55, kGold);
}

// A USB key token: body, key-ring hole, light and connector.
void Token(Canvas &c, double x, double y, double w, double h, Colour body, Colour hole) {
  c.RoundRect(x, y, x + w * 0.78, y + h, h * 0.3, body);
  c.Rect(x + w * 0.78, y + h * 0.2, x + w, y + h * 0.8, kSilver);
  c.Rect(x + w * 0.84, y + h * 0.35, x + w * 0.9, y + h * 0.5, kNavy);
  c.Rect(x + w * 0.84, y + h * 0.55, x + w * 0.9, y + h * 0.7, kNavy);
  c.Circle(x + h * 0.35, y + h * 0.5, h * 0.15, hole);
  c.Circle(x + w * 0.66, y + h * 0.5, h * 0.12, kLed);
}

// Wider than the dialogs at any font: a dialog shows its left part.
Canvas Banner() {
  Canvas c(640, 52, 4, kBlue);
  c.Gradient(0, 0, 640, 50, kBlue, kNavy);
  for (double x : {300.0, 500.0}) {
    c.Circle(x + 110, 6, 64, Alpha(kWhite, 14));
    c.Circle(x + 52, 58, 40, Alpha(kWhite, 12));
    c.Circle(x, 0, 22, Alpha(kWhite, 10));
  }
  Token(c, 18, 16, 62, 20, kPaper, kBlue);
  Certificate(c, 96, 9, 30, 34);
  c.Rect(0, 50, 640, 52, kGold);
  return c;
}

// Image 0 a key, image 1 a certificate, 16 × 16 each, on the mask colour (web-safe colours
// only, so that an 8-bit image list keeps them).
Canvas TreeImages() {
  Canvas c(32, 16, 1, kMagenta);
  constexpr Colour kDark{0x00, 0x33, 0x99}, kLight{0x33, 0x66, 0xCC}, kGrey{0xCC, 0xCC, 0xCC},
      kDim{0x66, 0x66, 0x66}, kGreen{0x00, 0xCC, 0x00}, kRed{0xCC, 0x00, 0x00},
      kLine{0x99, 0x99, 0x99};
  c.Rect(1, 4, 11, 12, kDark);
  c.Rect(2, 4, 10, 5, kLight);
  c.Rect(2, 7, 4, 9, kWhite);
  c.Rect(8, 7, 9, 9, kGreen);
  c.Rect(11, 6, 15, 10, kGrey);
  c.Rect(12, 7, 13, 8, kDim);
  c.Rect(12, 8, 13, 9, kDim);
  c.Rect(18, 1, 29, 14, kLine);
  c.Rect(19, 2, 28, 13, kWhite);
  for (int y : {4, 6, 8}) c.Rect(20, y, y == 8 ? 24 : 27, y + 1, kLine);
  c.Rect(24, 10, 28, 13, kRed);
  c.Rect(25, 9, 27, 14, kRed);
  c.Rect(25, 14, 26, 16, kRed);
  c.Rect(27, 14, 28, 16, kRed);
  return c;
}

// The strength meter with `level` of its three segments lit.
Canvas Meter(int level) {
  constexpr Colour kLit[3] = {{0xD9, 0x45, 0x3B}, {0xF0, 0xA0, 0x30}, {0x3B, 0xAA, 0x4F}};
  Canvas c(60, 12, 4, kFace);
  for (int i = 0; i < 3; ++i) {
    const double x = i * 21.0;
    c.RoundRect(x, 1, x + 18, 11, 2.5, {0xB9, 0xC0, 0xC8});
    c.RoundRect(x + 1, 2, x + 17, 10, 1.8, i < level ? kLit[level - 1] : Colour{0xE4, 0xE7, 0xEB});
  }
  return c;
}

// A lit key cap with its caption; `arrow` adds the Shift arrow before it.
Canvas PressedKey(int width, const char *caption, bool arrow, bool light) {
  Canvas c(width, 16, 4, kFace);
  c.RoundRect(0, 0, width, 16, 3, kKeyBlue);
  const double text = art::Canvas::TextWidth(caption, 7);
  const double whole = text + (arrow ? 9 : 0);
  double x = std::floor((width - whole) / 2);
  if (arrow) {
    c.Polygon({{x + 3.5, 3.5},
               {x + 7.5, 8},
               {x + 5.5, 8},
               {x + 5.5, 12},
               {x + 1.5, 12},
               {x + 1.5, 8},
               {x - 0.5, 8}},
              kWhite);
    x += 9;
  }
  c.Text(caption, x, 12, 7, kWhite);
  if (light) c.Circle(width - 4.5, 4.5, 1.6, kLed);
  return c;
}

// A blue tile with a white key.
Canvas Icon(int size) {
  const double k = size / 32.0;
  Canvas c(size, size, 4, {0, 0, 0, 0});
  c.RoundRect(1 * k, 1 * k, 31 * k, 31 * k, 6 * k, kNavy);
  c.RoundRect(2 * k, 2 * k, 30 * k, 30 * k, 5 * k, kKeyBlue);
  c.Circle(11 * k, 11 * k, 6.5 * k, kWhite);
  c.Circle(11 * k, 11 * k, 2.6 * k, kKeyBlue);
  c.Line({14 * k, 14 * k}, {26 * k, 26 * k}, 3.6 * k, kWhite);
  c.Line({21 * k, 21 * k}, {18.5 * k, 23.5 * k}, 3 * k, kWhite);
  c.Line({25 * k, 25 * k}, {22.5 * k, 27.5 * k}, 3 * k, kWhite);
  return c;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: certdesk_art OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string out = std::string(argv[1]) + "/";
  const Canvas icon32 = Icon(32), icon16 = Icon(16);
  const bool ok =
      art::WriteBitmap24(out + "banner.bmp", Banner()) &&
      art::WriteBitmap8(out + "tree.bmp", TreeImages()) &&
      art::WriteBitmap24(out + "meter_low.bmp", Meter(1)) &&
      art::WriteBitmap24(out + "meter_medium.bmp", Meter(2)) &&
      art::WriteBitmap24(out + "meter_high.bmp", Meter(3)) &&
      art::WriteBitmap24(out + "caps_on.bmp", PressedKey(40, "Caps", false, true)) &&
      art::WriteBitmap24(out + "right_shift_on.bmp", PressedKey(50, "Shift", true, false)) &&
      art::WriteBitmap24(out + "left_shift_on.bmp", PressedKey(52, "Shift", true, false)) &&
      art::WriteIcon(out + "certdesk.ico", {&icon32, &icon16});
  if (!ok) std::fprintf(stderr, "certdesk_art: could not write into %s\n", argv[1]);
  return ok ? 0 : 1;
}
