#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "platform/pictures/ColourProfiles.h"

#include <optional>

namespace platform {

class BackgroundWork;
class ReadableFile;

// A JPEG file decoded small, as libjpeg decodes cheaply: at the smallest of
// its sizes from an eighth to the whole that is at least `atLeast` across and
// down (as the file stores it, before any turn). A progressive file reduced
// to an eighth is read only as far as its first scans, which hold the
// average of every block: all an eighth shows.
//
// Nothing for a file this does not decode (a colour model it leaves to the
// general decoder); raises the invalid picture error for damaged data and for
// a picture that ends before its data does, and stops early, raising, once
// the work is cancelled.
//
// The colours come out as the file means them (its profile, or Adobe RGB's
// where its EXIF says so): converted to the target already for CMYK, grey
// and a whole large picture; other colour pixels are given with the profile
// they are in, for the caller to convert at the size it keeps.
struct DecodedJpeg {
  QImage image;
  QByteArray profile;  // empty: the target's colours already
};
std::optional<DecodedJpeg> decodeReducedJpeg(const ReadableFile& file, QSize atLeast, const BackgroundWork* work,
                                             ColourTarget target = ColourTarget::Display);

}  // namespace platform
