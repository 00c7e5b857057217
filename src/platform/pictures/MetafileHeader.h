#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace platform {

// What the first records of a Windows metafile say about the picture, read
// without trusting any of it: every offset and size is checked against the
// data before use.
struct MetafileHeader {
  enum class Kind { Wmf, PlaceableWmf, Emf };
  Kind kind = Kind::Wmf;

  // Natural size in twips. Empty for a plain WMF that never sets a window
  // extent: its drawing then decides the size.
  QSizeF twips;

  // An enhanced metafile's frame in the units its drawing is converted in
  // (device units, counted from the top left of the drawing's bounds).
  QRectF emfFrame;

  // Where the records end: after the closing record, or after the last
  // record when there is none. Bytes after it are not part of the picture.
  qsizetype recordsEnd = 0;
  // Whether the last record is the closing one.
  bool closed = false;
};

// The header of a WMF (placeable or not) or EMF picture; nothing when the data
// is not one, its size is zero, negative or beyond what can be shown, or its
// records do not follow one another to the end: a record shorter than a
// record header or running past the end of the data, or more records than
// RecordLimit.
std::optional<MetafileHeader> readMetafileHeader(const QByteArray& bytes);

// Whether a file that begins with these bytes (its first 64 at least) is
// meant to be a WMF or EMF picture; readMetafileHeader still decides whether
// it is one.
bool looksLikeMetafile(const QByteArray& firstBytes);

// A logical unit of a plain WMF is taken as one pixel at 96 dots an inch.
inline constexpr double TwipsPerWmfUnit = 1440.0 / 96.0;

// Whether a picture of this natural size can be shown: no side zero,
// negative or over 32,767 pixels at 96 dots an inch.
bool isShowableSize(QSizeF twips);

// The most records a picture may have; bounds the work one file can cause.
inline constexpr int RecordLimit = 500'000;

}  // namespace platform
