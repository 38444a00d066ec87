// Six-fold snowflakes drawn from a small description: a main arm with side branches
// (which may carry twigs), an optional central plate, rings and tip plates, repeated on
// six arms and mirrored across each arm. Rendering supersamples every pixel.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace wintrel::assetgen {

// Lengths are fractions of the flake's radius unless they say pixels.
struct Branch {
  double at = 0.5;         // where it leaves the arm
  double length = 0.2;
  double width = 0.02;     // half-width at its root; it tapers to 60 %
  double angle = 60.0;     // degrees from the arm, towards the tip
  int twigs = 0;           // twigs along the branch, on its outer side and inner side
  double twigLength = 0.05;
  double tipPlate = 0.0;   // a small hexagon at its end
};

struct Design {
  std::array<uint8_t, 3> interior{};  // ice
  std::array<uint8_t, 3> rim{};       // the bright edge
  std::array<uint8_t, 3> ridge{};     // the ribs along arms and branches, and plate rings
  double iceAlpha = 0.84;             // the rim and ribs are (nearly) opaque
  double armLength = 0.97;
  double armWidth = 0.035;     // half-width at the centre
  double armTipWidth = 0.015;  // half-width at the tip
  std::vector<Branch> branches;
  double plate = 0.0;          // central hexagon, vertices on the arms
  std::vector<double> plateRidges;  // hexagonal ribs inside the plate
  double ring = 0.0;           // a separate hexagonal ring (radius), and its half-width
  double ringWidth = 0.0;
  double tipPlate = 0.0;       // hexagon at each arm's tip
  double roundTip = 0.0;       // a broad rounded leaf at each arm's end (sectored look)
};

struct Rgba {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;  // R, G, B, A, rows top-down
};

// Draws the design centred in width x height, its arms along the longer side, with
// `samples` x `samples` samples per pixel; `turn` turns it clockwise (degrees).
Rgba RenderFlake(const Design& design, int32_t width, int32_t height, int samples, double turn = 0.0);

// The eight pictures the program embeds, and the icon's and design picture's flakes.
std::vector<Design> FlakeDesigns();
Design IconDesign();
Design DesignGifFlake();

}  // namespace wintrel::assetgen
