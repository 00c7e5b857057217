// The converter program: reads a WMF or EMF picture on standard input and
// writes it as an SVG document on standard output. Exit status 0 means the
// document is complete; anything else, that the picture could not be read.

#include "metafile_converter/MetafileConversion.h"

#include <cstdio>
#include <unistd.h>

namespace {

// Larger metafiles are refused before any of them is read.
constexpr qsizetype InputLimit = 256 * 1024 * 1024;

bool readAll(QByteArray& into) {
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count == 0) return true;
    if (count < 0) return false;
    if (into.size() + count > InputLimit) return false;
    into.append(buffer, count);
  }
}

bool writeAll(const QByteArray& data) {
  qsizetype written = 0;
  while (written < data.size()) {
    const ssize_t count = ::write(STDOUT_FILENO, data.constData() + written, static_cast<size_t>(data.size() - written));
    if (count <= 0) return false;
    written += count;
  }
  return true;
}

}  // namespace

int main() {
  QByteArray metafile;
  if (!readAll(metafile)) return 2;
  const QByteArray svg = metafile::convertToSvg(metafile);
  if (svg.isEmpty()) return 1;
  return writeAll(svg) ? 0 : 3;
}
