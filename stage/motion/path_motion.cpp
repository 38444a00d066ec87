// Motion along a path of points instead of along the angle.
#include <cmath>

#include "stage/render/cartoon_box.h"
#include "stage/render/stage_call.h"

namespace wintrel::stage {
namespace {

struct PointD {
  double x, y;
};

// Cuts the cubic curve p0..p3 into straight pieces until each piece's bounding box is
// less than 32 pixels both ways, appending each piece's end point.
void Subdivide(const PointD& p0, const PointD& p1, const PointD& p2, const PointD& p3, int depth,
               std::vector<int32_t>& out) {
  const double minX = std::min({p0.x, p1.x, p2.x, p3.x}), maxX = std::max({p0.x, p1.x, p2.x, p3.x});
  const double minY = std::min({p0.y, p1.y, p2.y, p3.y}), maxY = std::max({p0.y, p1.y, p2.y, p3.y});
  if ((maxX - minX < 32.0 && maxY - minY < 32.0) || depth >= 16) {
    out.push_back(TruncToInt(std::round(p3.x)));
    out.push_back(TruncToInt(std::round(p3.y)));
    return;
  }
  auto mid = [](const PointD& a, const PointD& b) { return PointD{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
  const PointD a = mid(p0, p1), b = mid(p1, p2), c = mid(p2, p3);
  const PointD d = mid(a, b), e = mid(b, c), m = mid(d, e);
  Subdivide(p0, a, d, m, depth + 1, out);
  Subdivide(m, e, c, p3, depth + 1, out);
}

}  // namespace

void CartoonBox::ReadPath(Sprite& s, std::span<const int32_t> path) {
  // Points are offsets from the sprite's centre at the time of the call.
  const double cx = TruncToInt(s.x) + s.prepared->width / 2;
  const double cy = TruncToInt(s.y) + s.prepared->height / 2;
  std::vector<int32_t>& out = s.motion.path;
  PointD current{cx, cy};
  std::size_t k = 0;
  while (k < path.size()) {
    const int32_t kind = path[k++];
    if (kind == 0 && k + 2 <= path.size()) {
      const PointD p{cx + path[k], cy + path[k + 1]};
      k += 2;
      out.push_back(TruncToInt(p.x));
      out.push_back(TruncToInt(p.y));
      current = p;
    } else if (kind == 1 && k + 6 <= path.size()) {
      const PointD p1{cx + path[k], cy + path[k + 1]};
      const PointD p2{cx + path[k + 2], cy + path[k + 3]};
      const PointD p3{cx + path[k + 4], cy + path[k + 5]};
      k += 6;
      Subdivide(current, p1, p2, p3, 0, out);
      current = p3;
    } else {
      break;  // another kind, or a group cut short, ends the reading
    }
  }
}

int32_t CartoonBox::PathStep(Sprite& s, int32_t step, int32_t& flags) {
  StageCall call(*this);
  flags = 0;
  MotionState& m = s.motion;
  const std::size_t pos = static_cast<std::size_t>(m.pathPosition);
  if (pos + 1 >= m.path.size() || !Usable(s.prepared)) {
    m.pathPosition = static_cast<int32_t>(m.path.size());
    return kStatusGoOn;
  }
  const int32_t halfW = s.prepared->width / 2, halfH = s.prepared->height / 2;
  const double tx = m.path[pos], ty = m.path[pos + 1];
  const double dx = tx - (s.x + halfW), dy = ty - (s.y + halfH);
  const double dist = std::hypot(dx, dy);
  const bool lands = dist <= step;
  const double nx = lands ? tx - halfW : s.x + dx * step / dist;
  const double ny = lands ? ty - halfH : s.y + dy * step / dist;
  const int32_t ox = TruncToInt(s.x), oy = TruncToInt(s.y);
  const int32_t status = MoveObjectTo(s, nx, ny);
  if (status != kStatusGoOn) return status;
  if (lands && s.x == nx && s.y == ny) m.pathPosition = static_cast<int32_t>(pos + 2);
  if (TruncToInt(s.x) == ox && TruncToInt(s.y) == oy) return kStatusGoOn;
  return CheckAfterStep(s, ox, oy, flags);
}

}  // namespace wintrel::stage
