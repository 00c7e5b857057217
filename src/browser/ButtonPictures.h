#pragma once

#include <QIcon>

// The pictures of the browser's buttons and the program's icon (pixel art,
// kept in the resources folder).
namespace ButtonPictures {

QIcon open();
QIcon fullSize();
QIcon rename();
QIcon remove();
QIcon windowIcon();

}  // namespace ButtonPictures
