#include "tools/assetgen/flake.h"

#include <algorithm>
#include <cmath>

namespace wintrel::assetgen {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kCos30 = 0.86602540378443864676;

struct Vec {
  double x, y;
};

// Shapes in one arm's frame: u along the arm, v across it (v >= 0; the arm is mirrored).
struct Capsule {
  Vec a, b;
  double r0, r1;  // half-widths at a and b
  bool ridge;     // drawn as a rib rather than as ice
};
struct Hexagon {
  Vec centre;
  double radius;     // centre to vertex
  double hole;       // > 0: a ring, inner vertex radius
  bool vertexOnArm;  // a vertex points along the arm
  bool ridge;
};

struct Shapes {
  std::vector<Capsule> capsules;
  std::vector<Hexagon> hexagons;
};

// Distance-based membership with the shape grown by `grow` pixels (negative shrinks).
bool InCapsule(const Capsule& c, Vec p, double grow) {
  const double dx = c.b.x - c.a.x, dy = c.b.y - c.a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - c.a.x) * dx + (p.y - c.a.y) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = p.x - (c.a.x + t * dx), ey = p.y - (c.a.y + t * dy);
  const double r = c.r0 + (c.r1 - c.r0) * t + grow;
  return r > 0 && ex * ex + ey * ey <= r * r;
}

// Inside a hexagon of vertex radius r centred at the origin.
bool InHex(double x, double y, double r, bool vertexOnX) {
  x = std::fabs(x);
  y = std::fabs(y);
  if (!vertexOnX) std::swap(x, y);
  return std::max(x * kCos30 + y * 0.5, y) <= r * kCos30;
}

bool InHexagon(const Hexagon& h, Vec p, double grow) {
  const double x = p.x - h.centre.x, y = p.y - h.centre.y;
  if (!InHex(x, y, h.radius + grow, h.vertexOnArm)) return false;
  return h.hole <= 0 || !InHex(x, y, h.hole - grow, h.vertexOnArm);
}

Shapes BuildShapes(const Design& d, double radius) {
  Shapes s;
  const double px = 1.0 / radius;  // one pixel in radius units
  // The main arm and its rib.
  s.capsules.push_back({{0, 0}, {d.armLength, 0}, d.armWidth, d.armTipWidth, false});
  s.capsules.push_back({{0, 0}, {d.armLength * 0.93, 0}, 0.9 * px, 0.5 * px, true});
  for (const Branch& b : d.branches) {
    const double a = b.angle * kPi / 180.0;
    const Vec dir{std::cos(a), std::sin(a)};
    const Vec root{b.at, 0};
    const Vec end{root.x + dir.x * b.length, root.y + dir.y * b.length};
    s.capsules.push_back({root, end, b.width, b.width * 0.6, false});
    s.capsules.push_back({root, {root.x + dir.x * b.length * 0.9, root.y + dir.y * b.length * 0.9},
                          0.7 * px, 0.45 * px, true});
    for (int k = 0; k < b.twigs; ++k) {
      const double f = (k + 1.0) / (b.twigs + 1.0);
      const Vec base{root.x + dir.x * b.length * f, root.y + dir.y * b.length * f};
      const double len = b.twigLength * (1.0 - 0.45 * f);
      const double w = std::max(b.width * 0.55, 1.4 * px);
      for (double turnBy : {-60.0, 60.0}) {
        const double ta = a + turnBy * kPi / 180.0;
        s.capsules.push_back({base, {base.x + std::cos(ta) * len, base.y + std::sin(ta) * len}, w, w * 0.6, false});
      }
    }
    if (b.tipPlate > 0) {
      // Oriented with the branch: its vertex on the branch's own line.
      s.hexagons.push_back({end, b.tipPlate, 0, std::fmod(b.angle, 60.0) == 0.0, false});
    }
  }
  if (d.plate > 0) {
    s.hexagons.push_back({{0, 0}, d.plate, 0, true, false});
    for (double r : d.plateRidges) s.hexagons.push_back({{0, 0}, r + 0.6 * px, r - 0.6 * px, true, true});
  }
  if (d.ring > 0) s.hexagons.push_back({{0, 0}, d.ring + d.ringWidth, d.ring - d.ringWidth, true, false});
  if (d.tipPlate > 0) {
    s.hexagons.push_back({{d.armLength - d.tipPlate * 0.8, 0}, d.tipPlate, 0, true, false});
    s.hexagons.push_back({{d.armLength - d.tipPlate * 0.8, 0}, d.tipPlate * 0.55 + 0.6 * px,
                          d.tipPlate * 0.55 - 0.6 * px, true, true});
  }
  if (d.roundTip > 0) {
    s.capsules.push_back({{d.armLength * 0.55, 0}, {d.armLength - d.roundTip, 0}, d.roundTip * 0.5, d.roundTip, false});
  }
  return s;
}

enum class Sample { kOutside, kIce, kRim, kRidge };

class Sampler {
 public:
  Sampler(const Design& d, double radius) : shapes_(BuildShapes(d, radius)), rimWidth_(1.7 / radius) {
    for (const Capsule& c : shapes_.capsules) capsuleBounds_.push_back(Around(c));
    for (const Hexagon& h : shapes_.hexagons) hexagonBounds_.push_back(Around(h));
  }

  // p in radius units, arm 0 pointing along +x.
  Sample At(Vec p) const {
    const double angle = std::atan2(p.y, p.x);
    const int nearest = static_cast<int>(std::lround(angle / (kPi / 3)));
    bool body = false, inner = false, ridge = false;
    for (int k = nearest - 1; k <= nearest + 1; ++k) {
      const double a = -k * kPi / 3;
      const double c = std::cos(a), s = std::sin(a);
      const Vec q{p.x * c - p.y * s, std::fabs(p.x * s + p.y * c)};
      Test(q, body, inner, ridge);
      if (body && inner && ridge) break;
    }
    if (!body) return Sample::kOutside;
    if (!inner) return Sample::kRim;
    return ridge ? Sample::kRidge : Sample::kIce;
  }

 private:
  // A circle around each shape: points outside it are outside the shape, so the exact
  // test can be skipped without changing any sample.
  struct Bound {
    Vec centre;
    double radius2;
    bool Outside(Vec q) const {
      const double dx = q.x - centre.x, dy = q.y - centre.y;
      return dx * dx + dy * dy > radius2;
    }
  };
  static Bound Around(const Capsule& c) {
    const Vec m{(c.a.x + c.b.x) / 2, (c.a.y + c.b.y) / 2};
    const double r = std::hypot(c.b.x - c.a.x, c.b.y - c.a.y) / 2 + std::max(c.r0, c.r1) + 1e-9;
    return {m, r * r};
  }
  static Bound Around(const Hexagon& h) { return {h.centre, (h.radius + 1e-9) * (h.radius + 1e-9)}; }

  void Test(Vec q, bool& body, bool& inner, bool& ridge) const {
    for (size_t i = 0; i < shapes_.capsules.size(); ++i) {
      const Capsule& c = shapes_.capsules[i];
      if (capsuleBounds_[i].Outside(q)) continue;
      if (c.ridge) {
        if (!ridge && InCapsule(c, q, 0)) ridge = true;
      } else {
        if (!body && InCapsule(c, q, 0)) body = true;
        if (!inner && InCapsule(c, q, -rimWidth_)) inner = true;
      }
    }
    for (size_t i = 0; i < shapes_.hexagons.size(); ++i) {
      const Hexagon& h = shapes_.hexagons[i];
      if (hexagonBounds_[i].Outside(q)) continue;
      if (h.ridge) {
        if (!ridge && InHexagon(h, q, 0)) ridge = true;
      } else {
        if (!body && InHexagon(h, q, 0)) body = true;
        if (!inner && InHexagon(h, q, -rimWidth_)) inner = true;
      }
    }
  }

  Shapes shapes_;
  double rimWidth_;
  std::vector<Bound> capsuleBounds_, hexagonBounds_;
};

}  // namespace

Rgba RenderFlake(const Design& design, int32_t width, int32_t height, int samples, double turn) {
  // Arms along the longer side: the flake spans 2 r that way and sqrt(3) r the other.
  const bool horizontal = width >= height;
  const double along = horizontal ? width : height, across = horizontal ? height : width;
  const double radius = std::min(along / 2.0, across / (2.0 * kCos30)) - 2.0;
  const double base = (horizontal ? 0.0 : -90.0) + turn;  // arm 0: right, or up
  const double rot = -base * kPi / 180.0;
  const double cr = std::cos(rot), sr = std::sin(rot);
  const Sampler sampler(design, radius);

  const double ice[3] = {design.interior[0] / 255.0, design.interior[1] / 255.0, design.interior[2] / 255.0};
  const double rim[3] = {design.rim[0] / 255.0, design.rim[1] / 255.0, design.rim[2] / 255.0};
  const double rib[3] = {design.ridge[0] / 255.0, design.ridge[1] / 255.0, design.ridge[2] / 255.0};
  const double kIceAlpha = design.iceAlpha, kRimAlpha = 1.0, kRidgeAlpha = 0.95;

  Rgba out;
  out.width = width;
  out.height = height;
  out.pixels.assign(static_cast<size_t>(width) * height * 4, 0);
  const double cx = width / 2.0, cy = height / 2.0;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      double acc[3] = {0, 0, 0}, alpha = 0;
      for (int sy = 0; sy < samples; ++sy) {
        for (int sx = 0; sx < samples; ++sx) {
          const double px = (x + (sx + 0.5) / samples - cx) / radius;
          const double py = (y + (sy + 0.5) / samples - cy) / radius;
          // Screen y runs down; turn into the flake's frame.
          const Vec p{px * cr - py * sr, px * sr + py * cr};
          const Sample s = sampler.At(p);
          const double* colour = nullptr;
          double a = 0;
          switch (s) {
            case Sample::kOutside: continue;
            case Sample::kIce: colour = ice; a = kIceAlpha; break;
            case Sample::kRim: colour = rim; a = kRimAlpha; break;
            case Sample::kRidge: colour = rib; a = kRidgeAlpha; break;
          }
          for (int c = 0; c < 3; ++c) acc[c] += colour[c] * a;
          alpha += a;
        }
      }
      uint8_t* px = out.pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
      if (alpha <= 0) continue;
      for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>(std::lround(std::clamp(acc[c] / alpha, 0.0, 1.0) * 255));
      px[3] = static_cast<uint8_t>(std::lround(alpha / (samples * samples) * 255));
    }
  }
  return out;
}

namespace {
// A pale colour's three shades: ice, bright rim, deeper rib.
// The rim is the ice a little lighter and fully opaque: bright edges on a dark ground,
// and edges and fine twigs that still show on a light one.
Design Tinted(std::array<uint8_t, 3> ice, std::array<uint8_t, 3> ridge) {
  Design d;
  d.interior = ice;
  for (int c = 0; c < 3; ++c) d.rim[c] = static_cast<uint8_t>(ice[c] + (255 - ice[c]) * 15 / 100);
  d.ridge = ridge;
  return d;
}
}  // namespace

// Side branches that grow from the centre outwards and shrink again towards the tip, the
// outline of a fern; a branch never reaches the line halfway to the next arm.
void Fern(Design& d, int count, double first, double last, double reach, double width, int twigs,
          double twigLength) {
  for (int i = 0; i < count; ++i) {
    const double at = first + (last - first) * i / std::max(1, count - 1);
    Branch b;
    b.at = at;
    const double envelope = std::min(0.8 * at, reach * (d.armLength - at) / (d.armLength - first) + 0.04);
    b.length = std::max(0.04, envelope);
    b.width = width * (1.0 - 0.35 * i / std::max(1, count - 1));
    b.twigs = b.length > 0.12 ? twigs : 0;
    b.twigLength = twigLength;
    d.branches.push_back(b);
  }
}

std::vector<Design> FlakeDesigns() {
  std::vector<Design> designs;

  // 1, pale cyan: a fern-like dendrite, dense branches with twigs.
  {
    Design d = Tinted({168, 228, 238}, {95, 190, 212});
    d.armWidth = 0.03;
    d.armTipWidth = 0.013;
    d.plate = 0.12;
    d.plateRidges = {0.075};
    Fern(d, 8, 0.2, 0.86, 0.33, 0.016, 2, 0.05);
    designs.push_back(d);
  }
  // 2, pale pink: a stellar plate, broad arms ending in plates.
  {
    Design d = Tinted({244, 200, 218}, {222, 150, 180});
    d.armWidth = 0.06;
    d.armTipWidth = 0.04;
    d.armLength = 0.88;
    d.plate = 0.32;
    d.plateRidges = {0.22, 0.12};
    d.tipPlate = 0.17;
    designs.push_back(d);
  }
  // 3, pink: a dendrite with few long branches, twigs, and a ring.
  {
    Design d = Tinted({238, 170, 196}, {210, 110, 150});
    d.armWidth = 0.036;
    d.armTipWidth = 0.015;
    d.plate = 0.09;
    d.ring = 0.19;
    d.ringWidth = 0.016;
    d.branches = {Branch{0.36, 0.3, 0.02, 60, 3, 0.08, 0}, Branch{0.6, 0.25, 0.018, 60, 2, 0.07, 0},
                  Branch{0.8, 0.12, 0.014, 60, 0, 0, 0}};
    designs.push_back(d);
  }
  // 4, pale peach: a plate with broad sectors: arms carry stubby plate branches.
  {
    Design d = Tinted({248, 214, 186}, {225, 165, 125});
    d.armWidth = 0.05;
    d.armTipWidth = 0.035;
    d.armLength = 0.93;
    d.plate = 0.26;
    d.plateRidges = {0.17, 0.09};
    d.tipPlate = 0.12;
    d.branches = {Branch{0.42, 0.16, 0.04, 60, 0, 0, 0.07}, Branch{0.64, 0.15, 0.035, 60, 0, 0, 0.06}};
    designs.push_back(d);
  }
  // 5, pale green: a dense fern whose branches branch again.
  {
    Design d = Tinted({196, 234, 190}, {125, 195, 120});
    d.armWidth = 0.028;
    d.armTipWidth = 0.011;
    d.plate = 0.08;
    Fern(d, 6, 0.18, 0.84, 0.4, 0.015, 4, 0.07);
    designs.push_back(d);
  }
  // 6, pale mint: needles with a hexagonal ring and small plates.
  {
    Design d = Tinted({186, 236, 216}, {110, 200, 165});
    d.armWidth = 0.04;
    d.armTipWidth = 0.018;
    d.plate = 0.16;
    d.plateRidges = {0.1};
    d.ring = 0.42;
    d.ringWidth = 0.018;
    d.tipPlate = 0.09;
    d.branches = {Branch{0.62, 0.16, 0.02, 60, 0, 0, 0.045}, Branch{0.25, 0.1, 0.018, 60, 0, 0, 0}};
    designs.push_back(d);
  }
  // 7, pale sky blue: broad branches ending in plates.
  {
    Design d = Tinted({180, 210, 244}, {110, 155, 220});
    d.armWidth = 0.036;
    d.armTipWidth = 0.017;
    d.plate = 0.12;
    d.plateRidges = {0.07};
    d.tipPlate = 0.1;
    d.branches = {Branch{0.3, 0.2, 0.024, 60, 0, 0, 0.065}, Branch{0.55, 0.2, 0.021, 60, 1, 0.06, 0.055},
                  Branch{0.76, 0.1, 0.017, 60, 0, 0, 0}};
    designs.push_back(d);
  }
  // 8, pale gold: a fern of long and short branches in turn, the short ones with plates.
  {
    Design d = Tinted({242, 224, 165}, {214, 182, 90});
    d.armWidth = 0.032;
    d.armTipWidth = 0.013;
    d.plate = 0.26;
    d.plateRidges = {0.19, 0.11};
    Fern(d, 6, 0.34, 0.86, 0.24, 0.017, 2, 0.05);
    for (size_t i = 1; i < d.branches.size(); i += 2) {
      d.branches[i].length *= 0.55;
      d.branches[i].twigs = 0;
      d.branches[i].tipPlate = 0.035;
    }
    designs.push_back(d);
  }
  return designs;
}

Design IconDesign() {
  // Bold and opaque, so that it reads at 16 and 32 pixels.
  Design d = Tinted({140, 200, 245}, {140, 200, 245});
  d.iceAlpha = 1.0;
  d.armWidth = 0.1;
  d.armTipWidth = 0.075;
  d.armLength = 0.96;
  d.plate = 0.22;
  d.branches = {Branch{0.52, 0.32, 0.08, 60, 0, 0, 0}};
  return d;
}

Design DesignGifFlake() {
  Design d = Tinted({120, 175, 230}, {70, 130, 210});
  d.armWidth = 0.05;
  d.armTipWidth = 0.03;
  d.plate = 0.15;
  d.branches = {Branch{0.4, 0.28, 0.035, 60, 0, 0, 0}, Branch{0.7, 0.17, 0.03, 60, 0, 0, 0}};
  return d;
}

}  // namespace wintrel::assetgen
