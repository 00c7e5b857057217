// What the fuzz targets share: the application and the temporary folder they
// work in, and drawing a picture as a widget's paint does.
#pragma once

#include "platform/pictures/Picture.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QTemporaryDir>
#include <QtGlobal>

namespace fuzzing {

// Made on first use. Pictures need a GUI application, settings a core one;
// the complaints of decoders about damaged data, or of Qt about values it
// cannot read, would only slow the fuzzing down.
template <typename Application>
QTemporaryDir& workFolder(const char* name, bool quiet = true) {
  static int argc = 1;
  static char* argv[] = {const_cast<char*>(name), nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (quiet) qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  static Application application(argc, argv);
  static QTemporaryDir folder;
  return folder;
}

// The part of the picture, shown in target, that a paint exposes: drawn on a
// canvas the size of that part, as a widget's paint would; and, when the
// paint lacked a scaled copy, again once that is made.
inline void paint(const platform::Picture& picture, const QRect& target, const QRect& exposed) {
  QImage canvas(exposed.size(), QImage::Format_RGB32);
  canvas.fill(Qt::white);
  QPainter painter(&canvas);
  painter.translate(-exposed.topLeft());
  painter.setClipRect(exposed);
  if (picture.draw(painter, target, exposed)) return;
  picture.prepareDrawing(target.size(), exposed.translated(-target.topLeft()));
  picture.draw(painter, target, exposed);
}

}  // namespace fuzzing
