#pragma once

#include <QImage>
#include <QString>

namespace platform {

// One of the program's own pictures (a PNG file among its resources), read
// by Qt's own PNG reader alone: asked to guess a format, Qt would load every
// image plugin to ask it, and no decoder of pictures may run in this
// process (see DecoderWorkers).
QImage ownPicture(const QString& resource);

}  // namespace platform
