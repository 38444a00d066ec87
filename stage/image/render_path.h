// Which of the stage's two implementations runs. The literal paths do the work exactly as
// the stage's rules state it (decode every picture written, turn the full-size picture and
// then scale it, compare pooled pictures pixel by pixel, compose the bounding box of each
// paint in one piece). The production paths give the same pixels, events, ids and random
// draws with less work. The literal paths stay as the reference the production ones are
// checked and measured against; the choice is process-wide and may change between stage
// calls (not during one).
#pragma once

namespace wintrel::stage {

enum class RenderPath { kProduction, kLiteral };

void SetRenderPath(RenderPath path);
RenderPath CurrentRenderPath();
inline bool LiteralPaths() { return CurrentRenderPath() == RenderPath::kLiteral; }

// Sets a path for the life of the object and puts the previous one back.
class ScopedRenderPath {
 public:
  explicit ScopedRenderPath(RenderPath path) : previous_(CurrentRenderPath()) { SetRenderPath(path); }
  ~ScopedRenderPath() { SetRenderPath(previous_); }
  ScopedRenderPath(const ScopedRenderPath&) = delete;
  ScopedRenderPath& operator=(const ScopedRenderPath&) = delete;

 private:
  RenderPath previous_;
};

}  // namespace wintrel::stage
