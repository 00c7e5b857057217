#pragma once

#include <QIcon>

// The pictures of the browser's buttons (pixel art, kept in the resources
// folder; the program's icon is ProgramIdentity's).
namespace ButtonPictures {

QIcon open();
QIcon fullSize();
QIcon rename();
QIcon remove();

}  // namespace ButtonPictures
