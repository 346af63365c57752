// Draws the program's 96 x 96 application icon and writes it as a PNG: three band bars
// brought to one level under a target line, on a rounded tile. Run by hand when the art
// changes (target sonbalancer_make_icon); the PNG it writes is kept beside it.
#include <wx/image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kSize = 96;
// Each pixel is the mean of kSamples x kSamples points, which smooths the edges.
constexpr int kSamples = 4;

struct Colour {
  double r, g, b, a;
};

Colour over(const Colour& top, const Colour& bottom) {
  const double a = top.a + bottom.a * (1.0 - top.a);
  if (a <= 0.0) return {0, 0, 0, 0};
  auto mix = [&](double t, double b) { return (t * top.a + b * bottom.a * (1.0 - top.a)) / a; };
  return {mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b), a};
}

bool insideRoundedRect(double x, double y, double left, double top, double right, double bottom,
                       double radius) {
  if (x < left || x > right || y < top || y > bottom) return false;
  const double cx = std::clamp(x, left + radius, right - radius);
  const double cy = std::clamp(y, top + radius, bottom - radius);
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// The colour of one point of the icon, from the back to the front.
Colour pointColour(double x, double y) {
  Colour c{0, 0, 0, 0};
  if (insideRoundedRect(x, y, 4, 4, 92, 92, 18)) {
    const double t = (y - 4) / 88;
    c = {0.10 + 0.06 * t, 0.20 + 0.16 * t, 0.33 + 0.22 * t, 1.0};
  }
  struct Bar {
    double left, right, before;
    Colour colour;
  };
  // Low, middle and high band; "before" is where each stood before balancing.
  const Bar bars[] = {{18, 34, 22, {0.96, 0.55, 0.20, 1}},
                      {40, 56, 62, {0.42, 0.82, 0.40, 1}},
                      {62, 78, 44, {0.30, 0.75, 0.95, 1}}};
  constexpr double kFloor = 78;
  constexpr double kLevel = 34;
  for (const Bar& bar : bars) {
    if (insideRoundedRect(x, y, bar.left, bar.before, bar.right, kFloor, 3))
      c = over({1, 1, 1, 0.22}, c);
    if (insideRoundedRect(x, y, bar.left, kLevel, bar.right, kFloor, 3)) c = over(bar.colour, c);
    // Where a quieter band stood, a dark notch inside its raised bar.
    if (bar.before > kLevel && x >= bar.left && x <= bar.right && std::fabs(y - bar.before) <= 1.5)
      c = over({0.05, 0.10, 0.20, 0.55}, c);
  }
  if (x >= 14 && x <= 82 && std::fabs(y - (kLevel - 5)) <= 1.2) c = over({1, 1, 1, 0.95}, c);
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s output.png\n", argv[0]);
    return 2;
  }
  wxImage image(kSize, kSize);
  image.InitAlpha();
  for (int py = 0; py < kSize; ++py) {
    for (int px = 0; px < kSize; ++px) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Colour c = pointColour(px + (sx + 0.5) / kSamples, py + (sy + 0.5) / kSamples);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      }
      auto channel = [&](double premultiplied) {
        return static_cast<unsigned char>(a > 0 ? std::lround(255 * premultiplied / a) : 0);
      };
      image.SetRGB(px, py, channel(r), channel(g), channel(b));
      image.SetAlpha(px, py,
                     static_cast<unsigned char>(std::lround(255 * a / (kSamples * kSamples))));
    }
  }
  wxImage::AddHandler(new wxPNGHandler);
  return image.SaveFile(argv[1], wxBITMAP_TYPE_PNG) ? 0 : 1;
}
