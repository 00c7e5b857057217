#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// File-name patterns, joined by ";", of every picture type the loader reads
// on this system (through the image plugins installed, HEIC and AVIF
// through libheif, JPEG XL through libjxl, cameras' RAW through LibRaw), less those covered.
QString otherPicturePatterns(const QStringList& covered);

}  // namespace platform
