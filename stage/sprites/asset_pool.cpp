#include "stage/sprites/asset_pool.h"

#include <algorithm>
#include <cstring>

#include "stage/image/fast_paths.h"
#include "stage/image/render_path.h"

namespace wintrel::stage {

const void* AssetPool::Entry::Item() const {
  return kind == Kind::kImage ? static_cast<const void*>(image.get())
                              : static_cast<const void*>(bytes.get());
}

AssetPool::Entry* AssetPool::FindImage(const image::SpriteImage& img,
                                       std::optional<uint64_t>& digest) {
  if (LiteralPaths()) {
    for (Entry& e : entries_) {
      if (e.kind != Kind::kImage) continue;
      // Same address, or equal size, frames, keys, delays and pixels.
      if (e.image.get() == &img || *e.image == img) return &e;
    }
    return nullptr;
  }
  // Pooled items never change and equal ones are stored once, so an entry at the same
  // address is the one entry equal to `img`.
  for (Entry& e : entries_)
    if (e.kind == Kind::kImage && e.image.get() == &img) return &e;
  for (Entry& e : entries_) {
    if (e.kind != Kind::kImage) continue;
    const image::SpriteImage& pooled = *e.image;
    if (pooled.width != img.width || pooled.height != img.height ||
        pooled.frames.size() != img.frames.size())
      continue;
    if (!digest) digest = image::ImageDigest(img);
    if (!e.digest) e.digest = image::ImageDigest(pooled);
    if (*e.digest == *digest && pooled == img) return &e;
  }
  return nullptr;
}

const image::SpriteImage* AssetPool::Insert(std::shared_ptr<const image::SpriteImage> img,
                                            std::optional<uint64_t> digest) {
  Entry e;
  e.kind = Kind::kImage;
  e.image = std::move(img);
  e.digest = digest;
  e.count = 1;
  entries_.push_back(std::move(e));
  return entries_.back().image.get();
}

AssetPool::Entry* AssetPool::FindBytes(std::span<const uint8_t> b) {
  for (Entry& e : entries_) {
    if (e.kind != Kind::kBytes || e.length != static_cast<int32_t>(b.size())) continue;
    if (e.bytes->data() == b.data() || std::equal(b.begin(), b.end(), e.bytes->begin()))
      return &e;
  }
  return nullptr;
}

const image::SpriteImage* AssetPool::AcquireImage(const image::SpriteImage* img) {
  if (!Usable(img)) return nullptr;
  std::optional<uint64_t> digest;
  if (Entry* e = FindImage(*img, digest)) {
    ++e->count;
    return e->image.get();
  }
  // A deep copy of every frame.
  return Insert(std::make_shared<const image::SpriteImage>(*img), digest);
}

const image::SpriteImage* AssetPool::AdoptImage(std::unique_ptr<image::SpriteImage> img) {
  if (!Usable(img.get())) return nullptr;  // `img` is freed here
  std::optional<uint64_t> digest;
  if (Entry* e = FindImage(*img, digest)) {
    ++e->count;
    if (e->image.get() == img.get()) img.release();  // it is the pooled one: keep it
    return e->image.get();
  }
  return Insert(std::move(img), digest);
}

const image::SpriteImage* AssetPool::AcquireShared(std::shared_ptr<const image::SpriteImage> img) {
  if (!Usable(img.get())) return nullptr;
  std::optional<uint64_t> digest;
  if (Entry* e = FindImage(*img, digest)) {
    ++e->count;
    return e->image.get();
  }
  return Insert(std::move(img), digest);
}

const ByteBlock* AssetPool::AcquireBytes(std::span<const uint8_t> b) {
  if (b.empty() || b.size() > static_cast<std::size_t>(INT32_MAX)) return nullptr;
  if (Entry* e = FindBytes(b)) {
    ++e->count;
    return e->bytes.get();
  }
  Entry e;
  e.kind = Kind::kBytes;
  e.bytes = std::make_unique<ByteBlock>(b.begin(), b.end());
  e.length = static_cast<int32_t>(b.size());
  e.count = 1;
  entries_.push_back(std::move(e));
  return entries_.back().bytes.get();
}

const ByteBlock* AssetPool::AdoptBytes(std::unique_ptr<ByteBlock> b) {
  if (!b || b->empty() || b->size() > static_cast<std::size_t>(INT32_MAX)) return nullptr;
  if (Entry* e = FindBytes(*b)) {
    ++e->count;
    if (e->bytes.get() == b.get()) b.release();
    return e->bytes.get();
  }
  Entry e;
  e.kind = Kind::kBytes;
  e.length = static_cast<int32_t>(b->size());
  e.bytes = std::move(b);
  e.count = 1;
  entries_.push_back(std::move(e));
  return entries_.back().bytes.get();
}

void AssetPool::Release(const void* item) {
  if (item == nullptr) return;
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [item](const Entry& e) { return e.Item() == item; });
  if (it == entries_.end()) return;
  if (--it->count <= 0) entries_.erase(it);
}

void AssetPool::Clear() { entries_.clear(); }

int32_t AssetPool::CountOf(const void* item) const {
  if (item == nullptr) return 0;
  for (const Entry& e : entries_)
    if (e.Item() == item) return e.count;
  return 0;
}

}  // namespace wintrel::stage
