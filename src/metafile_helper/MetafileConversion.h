#pragma once

#include <QByteArray>

namespace metafile {

// Converts a WMF or EMF picture into an SVG document. The document's viewBox
// is the picture's frame, drawn with preserveAspectRatio="none" so that it
// fills whatever rectangle it is rendered into; its width and height are the
// extent of the drawing in the metafile's own units. Empty when the data is
// not a metafile or the converting library fails on it.
//
// The libraries doing the work read untrusted data and are not hardened
// against every malformed file, so this runs only in the metafile helper, a
// process of its own with limits on its time and memory.
QByteArray convertToSvg(const QByteArray& metafile);

}  // namespace metafile
