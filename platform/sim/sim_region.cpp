// The update region of a simulated window.
#include <algorithm>

#include "platform/sim/sim_internal.h"

namespace wintrel::sim {
namespace {

bool Within(const Rect& inner, const Rect& outer) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

// Replaces `pieces` with the parts of them that `have` leaves free (`next` is scratch).
void CutAway(std::vector<Rect>& pieces, const Rect& have, std::vector<Rect>& next) {
  next.clear();
  for (const Rect& p : pieces) {
    const Rect i = Intersect(p, have);
    if (i.Empty()) {
      next.push_back(p);
      continue;
    }
    if (p.top < i.top) next.push_back({p.left, p.top, p.right, i.top});
    if (i.bottom < p.bottom) next.push_back({p.left, i.bottom, p.right, p.bottom});
    if (p.left < i.left) next.push_back({p.left, i.top, i.left, i.bottom});
    if (i.right < p.right) next.push_back({i.right, i.top, p.right, i.bottom});
  }
  pieces.swap(next);
}

}  // namespace

void Region::Meeting(const Rect& r, std::vector<uint32_t>& out) const {
  out.clear();
  // A rectangle that meets `r` starts above r.bottom and less than the tallest height
  // above r.top.
  const int64_t from = int64_t{r.top} - tallest_ + 1;
  auto it = std::lower_bound(byTop_.begin(), byTop_.end(), from,
                             [&](uint32_t at, int64_t top) { return rects_[at].top < top; });
  for (; it != byTop_.end() && rects_[*it].top < r.bottom; ++it)
    if (Overlap(rects_[*it], r)) out.push_back(*it);
  std::sort(out.begin(), out.end());
}

void Region::Insert(const Rect& r) {
  const uint32_t at = static_cast<uint32_t>(rects_.size());
  rects_.push_back(r);
  // The newest position is the largest: it goes after every rectangle with its top edge.
  auto it = std::upper_bound(byTop_.begin(), byTop_.end(), r.top,
                             [&](int32_t top, uint32_t i) { return top < rects_[i].top; });
  byTop_.insert(it, at);
  tallest_ = std::max(tallest_, r.Height());
  ++live_;
}

void Region::Remove(uint32_t at) {
  const Rect& r = rects_[at];
  auto it = std::lower_bound(byTop_.begin(), byTop_.end(), at, [&](uint32_t i, uint32_t key) {
    return rects_[i].top != r.top ? rects_[i].top < r.top : i < key;
  });
  byTop_.erase(it);
  rects_[at] = Rect{};
  --live_;
}

void Region::Reindex() {
  std::erase_if(rects_, [](const Rect& r) { return r.Empty(); });
  live_ = rects_.size();
  byTop_.resize(live_);
  tallest_ = 0;
  for (uint32_t i = 0; i < live_; ++i) {
    byTop_[i] = i;
    tallest_ = std::max(tallest_, rects_[i].Height());
  }
  std::stable_sort(byTop_.begin(), byTop_.end(),
                   [&](uint32_t a, uint32_t b) { return rects_[a].top < rects_[b].top; });
}

void Region::Add(const Rect& add) {
  if (add.Empty()) return;
  Meeting(add, hits_);
  // Nothing there meets it (as often for a sprite's old place): it goes in whole.
  if (hits_.empty()) {
    Insert(add);
    return;
  }
  // Keep the rectangles disjoint: add only the parts of `add` not yet covered.
  std::vector<Rect>& pieces = pieces_;
  pieces.assign(1, add);
  for (uint32_t at : hits_) {
    CutAway(pieces, rects_[at], spare_);
    if (pieces.empty()) return;
  }
  // Drop old rectangles that the new one covers entirely, to keep the list short, and put
  // `add` back whole where it is now free.
  pieces.assign(1, add);
  for (uint32_t at : hits_) {
    if (Within(rects_[at], add))
      Remove(at);
    else
      CutAway(pieces, rects_[at], spare_);
  }
  for (const Rect& p : pieces) Insert(p);
  // Removed places are reclaimed once they outnumber the rectangles.
  if (rects_.size() > 64 && rects_.size() - live_ > live_) Reindex();
}

void Region::Clear() {
  rects_.clear();
  byTop_.clear();
  tallest_ = 0;
  live_ = 0;
}

Rect Region::Bounds() const {
  Rect b;
  for (const Rect& r : rects_) b = Union(b, r);  // removed ones are empty: ignored
  return b;
}

std::vector<Rect> Region::Rects() const {
  // The index has them by top edge already; rectangles with one top edge (few) are put
  // in order of their left edges.
  std::vector<Rect> r;
  r.reserve(live_);
  for (uint32_t at : byTop_) r.push_back(rects_[at]);
  for (std::size_t run = 0; run < r.size();) {
    std::size_t end = run + 1;
    while (end < r.size() && r[end].top == r[run].top) ++end;
    if (end - run > 1)
      std::sort(r.begin() + static_cast<std::ptrdiff_t>(run), r.begin() + static_cast<std::ptrdiff_t>(end),
                [](const Rect& a, const Rect& b) { return a.left < b.left; });
    run = end;
  }
  return r;
}

void Region::ClipTo(const Rect& clip) {
  // Most often every rectangle already lies inside: nothing to do.
  if (std::all_of(rects_.begin(), rects_.end(),
                  [&](const Rect& r) { return r.Empty() || Within(r, clip); }))
    return;
  std::vector<Rect> kept;
  for (const Rect& r : rects_) {
    const Rect i = Intersect(r, clip);
    if (!i.Empty()) kept.push_back(i);
  }
  rects_.swap(kept);
  Reindex();
}

}  // namespace wintrel::sim
