// The metafile helper: converts one WMF or EMF picture and draws it on
// request (see platform/MetafileProtocol.h). It runs as a process of its own
// because the libraries doing the work read untrusted files and are not
// hardened against every malformed one: a crash here ends only the helper,
// and it locks itself down before it reads the picture, so that a file that
// takes over a library reaches no network, program or file but the fonts.

#include "metafile_helper/FontFiles.h"
#include "metafile_helper/MetafileConversion.h"
#include "metafile_helper/SvgRenderer.h"
#include "platform/desktop/Confinement.h"
#include "platform/pictures/MetafileProtocol.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <iconv.h>
#include <unistd.h>

#include <vector>

namespace {

namespace protocol = platform::metafile_protocol;

bool readExactly(void* into, size_t count) {
  auto* bytes = static_cast<char*>(into);
  while (count > 0) {
    const ssize_t got = ::read(STDIN_FILENO, bytes, count);
    if (got <= 0) return false;
    bytes += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}

bool writeAll(const void* data, size_t count) {
  const auto* bytes = static_cast<const char*>(data);
  while (count > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes, count);
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

bool answer(protocol::Status status) { return writeAll(&status, 1); }

std::unique_ptr<metafile::SvgRenderer> readPicture() {
  std::uint64_t length = 0;
  if (!readExactly(&length, sizeof length) || length > protocol::MetafileLimit) return nullptr;
  QByteArray metafile(static_cast<qsizetype>(length), Qt::Uninitialized);
  if (!readExactly(metafile.data(), length)) return nullptr;
  const QByteArray svg = metafile::convertToSvg(metafile);
  auto picture = svg.isEmpty() ? nullptr : metafile::SvgRenderer::fromSvg(svg);
  // A first small drawing: a document that brings the drawing library down
  // mostly does so at any size, and is better refused now than shown blank.
  if (picture) picture->render(QSize(48, 48), QRect(0, 0, 48, 48));
  return picture;
}

bool serve(const metafile::SvgRenderer& picture, const protocol::RenderRequest& request) {
  if (!protocol::isValid(request)) return answer(protocol::Failed);
  const QByteArray pixels = picture.render(QSize(request.width, request.height),
                                           QRect(request.x, request.y, request.partWidth, request.partHeight));
  if (pixels.isEmpty()) return answer(protocol::Failed);
  return answer(protocol::Ready) && writeAll(pixels.constData(), static_cast<size_t>(pixels.size()));
}

// What drawing needs of the system, done before the lock: fontconfig reads
// its configuration and caches, and the text machinery is set up, by
// drawing a word once; the readers of the pictures a metafile embeds are
// loaded, and GLib learns the system's character set.
void prepareDrawing() {
  for (const char* embedded : {"png", "jpeg", "bmp"})
    if (GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(embedded, nullptr)) {
      gdk_pixbuf_loader_close(loader, nullptr);
      g_object_unref(loader);
    }
  g_get_charset(nullptr);
  const QByteArray word(
      "<svg xmlns='http://www.w3.org/2000/svg' width='48' height='16'>"
      "<text x='0' y='12' font-family='sans-serif' font-size='12'>Tavlo</text></svg>");
  if (const auto picture = metafile::SvgRenderer::fromSvg(word)) picture->render(QSize(48, 16), QRect(0, 0, 48, 16));
}

// The text conversions the metafile readers ask of iconv, whose modules the
// C library loads the first time each is asked for; held open, they stay.
void prepareTextConversions() {
  static std::vector<iconv_t> held;
  const char* const codes[] = {"UTF-8", "UTF-16LE", "UTF-32LE", "LATIN1"};
  for (const char* to : codes)
    for (const char* from : codes)
      if (const iconv_t conversion = ::iconv_open(to, from); conversion != reinterpret_cast<iconv_t>(-1))
        held.push_back(conversion);
}

}  // namespace

int main() {
  // The libraries' complaints about a damaged picture go nowhere: told
  // through GLib, they would ask of the error output what the lock forbids.
  g_log_set_writer_func([](GLogLevelFlags, const GLogField*, gsize, gpointer) { return G_LOG_WRITER_HANDLED; }, nullptr,
                        nullptr);
  prepareDrawing();
  prepareTextConversions();
  // Locked before the metafile is read; the fonts are opened already.
  metafile::openEveryFont();
  metafile::refuseOtherFiles();
  if (!platform::lockDown()) {
    answer(protocol::Failed);
    return 1;
  }
  const auto picture = readPicture();
  if (!picture) {
    answer(protocol::Failed);
    return 1;
  }
  const double extent[2] = {picture->drawingExtent().width(), picture->drawingExtent().height()};
  if (!answer(protocol::Ready) || !writeAll(extent, sizeof extent)) return 1;

  protocol::RenderRequest request{};
  while (readExactly(&request, sizeof request))
    if (!serve(*picture, request)) return 1;
  return 0;
}
