// Linked into a build of the program that runs the stage's literal paths from the start
// (wintrel-literal.exe): the program itself reads no command line and no environment, so
// the choice is made when the executable is linked.
#include "stage/image/render_path.h"

namespace {
[[maybe_unused]] const bool kLiteralPaths =
    (wintrel::stage::SetRenderPath(wintrel::stage::RenderPath::kLiteral), true);
}  // namespace
