#include "browser/ButtonPictures.h"

namespace ButtonPictures {

QIcon open() { return QIcon(QStringLiteral(":/pictures/open.png")); }
QIcon fullSize() { return QIcon(QStringLiteral(":/pictures/fullsize.png")); }
QIcon rename() { return QIcon(QStringLiteral(":/pictures/rename.png")); }
QIcon remove() { return QIcon(QStringLiteral(":/pictures/delete.png")); }
QIcon windowIcon() { return QIcon(QStringLiteral(":/pictures/tavlo.ico")); }

}  // namespace ButtonPictures
