// A stage's reference-counted pool of pictures and byte blocks. Identical items are
// stored once: acquiring an item that is already pooled (the same address, or equal
// content) shares the pooled one and counts one more reference.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "stage/image/sprite_image.h"
#include "stage/sprites/sprite.h"

namespace wintrel::stage {

class AssetPool {
 public:
  enum class Kind : int32_t { kImage = 0, kBytes = 1 };

  struct Entry {
    Kind kind = Kind::kImage;
    std::shared_ptr<const image::SpriteImage> image;  // kind kImage; never changed
    std::optional<uint64_t> digest;                   // of the image, once worked out
    std::unique_ptr<ByteBlock> bytes;           // kind kBytes
    int32_t length = 0;                         // byte blocks: their length
    int32_t count = 0;                          // references
    const void* Item() const;
  };

  AssetPool() = default;
  AssetPool(const AssetPool&) = delete;
  AssetPool& operator=(const AssetPool&) = delete;

  // Copying: the pooled item equal to `image` (or `image` itself if pooled), else a
  // deep copy of it. Null for an absent or unusable image.
  const image::SpriteImage* AcquireImage(const image::SpriteImage* image);
  // Adopting: as above, but the pool takes `image`; when an equal item is already
  // pooled, `image` is freed and the pooled one shared.
  const image::SpriteImage* AdoptImage(std::unique_ptr<image::SpriteImage> image);
  // Copying an image that nobody changes any more: as AcquireImage, but instead of a deep
  // copy the pool keeps a share of `image` itself. The production paths use it for the
  // template's image, which the template replaces rather than changes.
  const image::SpriteImage* AcquireShared(std::shared_ptr<const image::SpriteImage> image);
  // Copying a byte block; null for an empty block.
  const ByteBlock* AcquireBytes(std::span<const uint8_t> bytes);
  const ByteBlock* AdoptBytes(std::unique_ptr<ByteBlock> bytes);

  // Drops one reference to the entry holding exactly `item`; frees the item when the
  // count falls to 0. Unknown items (and null) are ignored.
  void Release(const void* item);
  // Frees every entry.
  void Clear();

  const std::vector<Entry>& Entries() const { return entries_; }
  // The reference count of the entry holding exactly `item`, 0 if none.
  int32_t CountOf(const void* item) const;

 private:
  // The entry holding `image` itself or an equal one. The literal path compares the
  // pixels of every entry in turn; the production path looks for the address first and
  // then compares only entries of the same size and digest (`digest` receives the
  // image's digest when it was worked out).
  Entry* FindImage(const image::SpriteImage& image, std::optional<uint64_t>& digest);
  const image::SpriteImage* Insert(std::shared_ptr<const image::SpriteImage> image,
                                   std::optional<uint64_t> digest);
  Entry* FindBytes(std::span<const uint8_t> bytes);

  std::vector<Entry> entries_;
};

}  // namespace wintrel::stage
