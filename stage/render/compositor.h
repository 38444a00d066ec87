// The pixel operations of the stage's compositor, on 32-bit B, G, R, T pixel buffers
// addressed row by row with the image width as the row length.
#pragma once
#include <cstdint>

namespace wintrel::stage {

// Copies w x h pixels from src (sW x sH) at (sx, sy) into dst (dW x dH) at (dx, dy).
// A negative destination position cuts the rectangle; the source rectangle must lie
// wholly inside the source (else nothing is copied); the destination clips it.
void CopyPixelRect(uint32_t* dst, int32_t dW, int32_t dH, const uint32_t* src, int32_t sW,
                   int32_t sH, int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w,
                   int32_t h);

// Lays w x h source pixels over the destination, clipped as CopyPixelRect. `percent`
// (0..100) is added to every pixel's transparency; pixels whose colour (low 24 bits)
// is the colour key 0x00BBGGRR are skipped (0xFF000000: no key).
void BlendImage(uint32_t* dst, int32_t dW, int32_t dH, const uint32_t* src, int32_t sW,
                int32_t sH, int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                int32_t percent, uint32_t colorKey);

// The same as BlendImage, for the production paths: the blend's MulDiv by 255 worked out
// inline and runs of fully transparent pixels passed over in one go.
void BlendImageFast(uint32_t* dst, int32_t dW, int32_t dH, const uint32_t* src, int32_t sW,
                    int32_t sH, int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w,
                    int32_t h, int32_t percent, uint32_t colorKey);

}  // namespace wintrel::stage
