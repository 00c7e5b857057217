#pragma once

// How the program talks to the metafile helper over its standard input and
// output. Both ends run on one machine, so numbers travel in its own byte
// order.
//
// 1. The program sends the metafile: its length as 64 bits, then its bytes.
// 2. The helper converts it and reads the result; it answers one status
//    byte, then, when that is Ready, the drawing's extent in its own units as
//    two doubles (width, height).
// 3. The program sends drawing requests, each a RenderRequest; the helper
//    answers each with a status byte and, when Ready, the requested part's
//    pixels: 32-bit premultiplied ARGB, row after row, on white.
// 4. The program closes the helper's input when the picture is no longer
//    needed; the helper then ends.

#include <cstdint>

namespace platform::metafile_protocol {

enum Status : std::uint8_t { Failed = 0, Ready = 1 };

struct RenderRequest {
  // The whole picture is drawn at width by height pixels; of that, the part
  // at (x, y) of partWidth by partHeight pixels is sent.
  std::int32_t width, height;
  std::int32_t x, y, partWidth, partHeight;
};

// The largest metafile taken, and the largest drawn size and part asked for.
inline constexpr std::uint64_t MetafileLimit = 256ULL * 1024 * 1024;
inline constexpr std::int32_t SideLimit = 16'777'215;
inline constexpr std::int64_t PartPixelsLimit = 16'777'216;

inline bool isValid(const RenderRequest& r) {
  return r.width > 0 && r.height > 0 && r.width <= SideLimit && r.height <= SideLimit && r.x >= 0 && r.y >= 0 &&
         r.partWidth > 0 && r.partHeight > 0 && r.x <= r.width - r.partWidth && r.y <= r.height - r.partHeight &&
         static_cast<std::int64_t>(r.partWidth) * r.partHeight <= PartPixelsLimit;
}

}  // namespace platform::metafile_protocol
