#include "platform/pictures/OwnPictures.h"

#include <QImageReader>

namespace platform {

QImage ownPicture(const QString& resource) {
  QImageReader reader(resource, "png");
  reader.setAutoDetectImageFormat(false);
  return reader.read();
}

}  // namespace platform
