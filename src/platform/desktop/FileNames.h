#pragma once

// File names on Linux are bytes, most of them UTF-8 but not all. The program
// carries names and paths as text: valid UTF-8 reads as its characters, and
// each byte that is no part of valid UTF-8 as one of the lone surrogates
// U+DC80 to U+DCFF, which no real character uses. So a text turns back into
// the very bytes the folder gave, and a name of stray bytes never stands for
// another file whose name is the same once the bytes are replaced.

#include <QByteArray>
#include <QString>

namespace platform {

QString fileNameText(const QByteArray& native);
// The bytes of a name or path given as text: its stray bytes as they were,
// the rest as UTF-8.
QByteArray nativeFileName(const QString& text);
// The text shown for a name or path, as the desktop shows it: each stray
// byte as the replacement character.
QString displayedName(const QString& text);

}  // namespace platform
