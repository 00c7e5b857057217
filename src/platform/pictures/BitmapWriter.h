#pragma once

class QImage;
class QIODevice;

namespace platform {

// Writes a picture as a Windows bitmap, bottom row first: 24 bits a pixel
// when every pixel is opaque, else 32 bits with the alpha channel named in
// the header so that readers keep the transparency.
void writeBitmap(QIODevice& out, const QImage& picture);

}  // namespace platform
