#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace art {

Canvas::Canvas(int width, int height, int scale, Colour background)
    : width_(width),
      height_(height),
      scale_(scale),
      samples_(static_cast<std::size_t>(width * scale) * height * scale, background) {}

void Canvas::Blend(int sx, int sy, Colour c) {
  if (sx < 0 || sy < 0 || sx >= width_ * scale_ || sy >= height_ * scale_) return;
  Colour &d = samples_[static_cast<std::size_t>(sy) * width_ * scale_ + sx];
  auto mix = [&](std::uint8_t under, std::uint8_t over) {
    return static_cast<std::uint8_t>((over * c.a + under * (255 - c.a) + 127) / 255);
  };
  d = {mix(d.r, c.r), mix(d.g, c.g), mix(d.b, c.b), std::max(d.a, c.a)};
}

void Canvas::Fill(int sx0, int sy0, int sx1, int sy1, Colour c) {
  for (int y = sy0; y < sy1; ++y) {
    for (int x = sx0; x < sx1; ++x) Blend(x, y, c);
  }
}

void Canvas::Rect(double x0, double y0, double x1, double y1, Colour c) {
  Fill(static_cast<int>(std::lround(x0 * scale_)), static_cast<int>(std::lround(y0 * scale_)),
       static_cast<int>(std::lround(x1 * scale_)), static_cast<int>(std::lround(y1 * scale_)), c);
}

void Canvas::RoundRect(double x0, double y0, double x1, double y1, double radius, Colour c) {
  const double r = std::min({radius, (x1 - x0) / 2, (y1 - y0) / 2});
  for (int sy = static_cast<int>(y0 * scale_); sy < static_cast<int>(y1 * scale_); ++sy) {
    const double y = (sy + 0.5) / scale_;
    double inset = 0;
    if (y < y0 + r) inset = r - std::sqrt(std::max(0.0, r * r - (y0 + r - y) * (y0 + r - y)));
    if (y > y1 - r) inset = r - std::sqrt(std::max(0.0, r * r - (y - y1 + r) * (y - y1 + r)));
    Fill(static_cast<int>(std::lround((x0 + inset) * scale_)), sy,
         static_cast<int>(std::lround((x1 - inset) * scale_)), sy + 1, c);
  }
}

void Canvas::Circle(double cx, double cy, double radius, Colour c) {
  for (int sy = static_cast<int>((cy - radius) * scale_) - 1;
       sy <= static_cast<int>((cy + radius) * scale_) + 1; ++sy) {
    for (int sx = static_cast<int>((cx - radius) * scale_) - 1;
         sx <= static_cast<int>((cx + radius) * scale_) + 1; ++sx) {
      const double x = (sx + 0.5) / scale_ - cx, y = (sy + 0.5) / scale_ - cy;
      if (x * x + y * y <= radius * radius) Blend(sx, sy, c);
    }
  }
}

void Canvas::Polygon(const std::vector<Point> &points, Colour c) {
  double top = 1e9, bottom = -1e9;
  for (const Point &p : points) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  for (int sy = static_cast<int>(top * scale_); sy <= static_cast<int>(bottom * scale_); ++sy) {
    const double y = (sy + 0.5) / scale_;
    std::vector<double> crossings;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const Point a = points[i], b = points[(i + 1) % points.size()];
      if ((a.y <= y) != (b.y <= y))
        crossings.push_back(a.x + (y - a.y) / (b.y - a.y) * (b.x - a.x));
    }
    std::sort(crossings.begin(), crossings.end());
    for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
      Fill(static_cast<int>(std::lround(crossings[i] * scale_)), sy,
           static_cast<int>(std::lround(crossings[i + 1] * scale_)), sy + 1, c);
    }
  }
}

void Canvas::Line(Point a, Point b, double width, Colour c) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
  if (length == 0) return;
  const double nx = -dy / length * width / 2, ny = dx / length * width / 2;
  Polygon({{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}},
          c);
}

void Canvas::Gradient(double x0, double y0, double x1, double y1, Colour top, Colour bottom) {
  const int sy0 = static_cast<int>(std::lround(y0 * scale_));
  const int sy1 = static_cast<int>(std::lround(y1 * scale_));
  for (int sy = sy0; sy < sy1; ++sy) {
    const double t = sy1 - 1 > sy0 ? double(sy - sy0) / (sy1 - 1 - sy0) : 0;
    auto lerp = [&](std::uint8_t p, std::uint8_t q) {
      return static_cast<std::uint8_t>(std::lround(p + (q - p) * t));
    };
    Fill(static_cast<int>(std::lround(x0 * scale_)), sy, static_cast<int>(std::lround(x1 * scale_)),
         sy + 1, {lerp(top.r, bottom.r), lerp(top.g, bottom.g), lerp(top.b, bottom.b), 255});
  }
}

namespace {

// Glyphs on a 5 × 7 grid (rows top to bottom, bit 4 = leftmost column), lower case with the
// x-height in rows 2..6.
struct Glyph {
  char c;
  std::uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'S', {0x0E, 0x11, 0x10, 0x0E, 0x01, 0x11, 0x0E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}},
    {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'f', {0x06, 0x08, 0x1C, 0x08, 0x08, 0x08, 0x08}},
    {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}},
    {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}},
    {'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}},
    {'s', {0x00, 0x00, 0x0F, 0x10, 0x0E, 0x01, 0x1E}},
};

const Glyph *Find(char c) {
  for (const Glyph &g : kGlyphs) {
    if (g.c == c) return &g;
  }
  return nullptr;
}

}  // namespace

double Canvas::TextWidth(const char *text, double height) {
  return std::strlen(text) * 6 * height / 7 - height / 7;
}

void Canvas::Text(const char *text, double x, double y, double height, Colour c) {
  const double cell = height / 7;
  for (const char *p = text; *p; ++p, x += 6 * cell) {
    const Glyph *g = Find(*p);
    if (!g) continue;
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (g->rows[row] & (0x10 >> col)) {
          Rect(x + col * cell, y - height + row * cell, x + (col + 1) * cell,
               y - height + (row + 1) * cell, c);
        }
      }
    }
  }
}

std::vector<Colour> Canvas::Pixels() const {
  std::vector<Colour> out(static_cast<std::size_t>(width_) * height_);
  const int n = scale_ * scale_;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      int r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < scale_; ++sy) {
        for (int sx = 0; sx < scale_; ++sx) {
          const Colour &s = samples_[static_cast<std::size_t>(y * scale_ + sy) * width_ * scale_ +
                                     x * scale_ + sx];
          r += s.r * s.a;
          g += s.g * s.a;
          b += s.b * s.a;
          a += s.a;
        }
      }
      // Colours weighted by their coverage, so that transparent samples leave no dark edge.
      auto channel = [&](int sum) { return static_cast<std::uint8_t>(a ? (sum + a / 2) / a : 0); };
      out[static_cast<std::size_t>(y) * width_ + x] = {channel(r), channel(g), channel(b),
                                                       static_cast<std::uint8_t>((a + n / 2) / n)};
    }
  }
  return out;
}

}  // namespace art
