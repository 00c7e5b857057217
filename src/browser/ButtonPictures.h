#pragma once

#include <QIcon>

// The pictures of the browser's buttons and its window icon, drawn so that
// they stay sharp at any scale.
namespace ButtonPictures {

QIcon open();
QIcon fullSize();
QIcon rename();
QIcon remove();
QIcon windowIcon();

}  // namespace ButtonPictures
