#include "browser/ButtonPictures.h"

#include "platform/pictures/OwnPictures.h"

#include <QPixmap>

namespace ButtonPictures {

namespace {

// The drawing, and each of its pixels as a 2 x 2 square for screens that
// show two pixels for one, so that the picture stays sharp there.
QIcon pixelArt(const QString& path) {
  const QPixmap drawing = QPixmap::fromImage(platform::ownPicture(path));
  QIcon picture(drawing);
  picture.addPixmap(drawing.scaled(drawing.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation));
  return picture;
}

}  // namespace

QIcon open() { return pixelArt(QStringLiteral(":/pictures/open.png")); }
QIcon fullSize() { return pixelArt(QStringLiteral(":/pictures/fullsize.png")); }
QIcon rename() { return pixelArt(QStringLiteral(":/pictures/rename.png")); }
QIcon remove() { return pixelArt(QStringLiteral(":/pictures/delete.png")); }

}  // namespace ButtonPictures
