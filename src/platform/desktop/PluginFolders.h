#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <map>

namespace platform {

// Qt's plugin folders as this process sees them. Qt's image plugins are
// picture decoders, and none may run in the program (its pictures are
// decoded by the decoder workers). Qt would load every one of them to read
// its own icons (a style's folder pictures, a message box's), asking each
// whether it knows the file: so the program sees Qt's plugin folders
// through a folder of links of this run's own, which has every plugin
// folder but the image formats'.
namespace PluginFolders {

// Before the application object is made. The folder of links goes with the
// process (a later run sweeps those of runs that ended without removing
// theirs).
void hideImagePlugins();

// The image formats Qt reads, built in or by a plugin, by MIME type: from
// what each plugin says of itself, without loading any, wherever they are
// seen from.
std::map<QByteArray, QList<QByteArray>> imageFormatsByMimeType();

}  // namespace PluginFolders

}  // namespace platform
