// A small raster canvas for certdesk's artwork: filled shapes, an outline font for a few
// letters, and 4 × 4 supersampling for smooth edges.
#pragma once

#include <cstdint>
#include <vector>

namespace art {

struct Colour {
  std::uint8_t r, g, b, a = 255;
};

struct Point {
  double x, y;
};

class Canvas {
 public:
  // A canvas of width × height pixels, drawn at `scale` samples per pixel side.
  Canvas(int width, int height, int scale, Colour background);

  int width() const { return width_; }
  int height() const { return height_; }

  // Coordinates are in pixels of the final image.
  void Rect(double x0, double y0, double x1, double y1, Colour c);
  void RoundRect(double x0, double y0, double x1, double y1, double radius, Colour c);
  void Circle(double cx, double cy, double radius, Colour c);
  void Polygon(const std::vector<Point> &points, Colour c);
  void Line(Point a, Point b, double width, Colour c);
  // Top to bottom from `top` to `bottom` over the rectangle.
  void Gradient(double x0, double y0, double x1, double y1, Colour top, Colour bottom);
  // Text of the letters the keys need, `height` pixels high, left edge at x, baseline at y.
  void Text(const char *text, double x, double y, double height, Colour c);
  // Width Text draws.
  static double TextWidth(const char *text, double height);

  // The image: width × height pixels, averaged over the samples.
  std::vector<Colour> Pixels() const;

 private:
  void Fill(int sx0, int sy0, int sx1, int sy1, Colour c);
  void Blend(int sx, int sy, Colour c);

  int width_, height_, scale_;
  std::vector<Colour> samples_;
};

}  // namespace art
