#include "stage/image/render_path.h"

namespace wintrel::stage {
namespace {
// Constant-initialised, so that a build that starts on the literal paths can set it from
// a static initialiser of its own.
RenderPath g_path = RenderPath::kProduction;
}  // namespace

void SetRenderPath(RenderPath path) { g_path = path; }
RenderPath CurrentRenderPath() { return g_path; }

}  // namespace wintrel::stage
