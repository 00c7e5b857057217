#include "platform/pictures/NewerFormats.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/pictures/Picture.h"

#include <libraw/libraw.h>

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace platform {

namespace {

// LibRaw reads the file handed over through this, in blocks: its decoders
// read many formats a byte at a time.
class FileStream final : public LibRaw_abstract_datastream {
 public:
  FileStream(const ReadableFile& file, const BackgroundWork* work) : file_(file), work_(work) {}

  int valid() override { return 1; }
  int read(void* into, size_t size, size_t count) override {
    if (size == 0 || count == 0) return 0;
    auto* bytes = static_cast<char*>(into);
    const std::int64_t wanted = static_cast<std::int64_t>(size * count);
    std::int64_t got = 0;
    while (got < wanted && fill()) {
      const std::int64_t taken = std::min(wanted - got, held() - (position_ - start_));
      std::memcpy(bytes + got, buffer_.data() + (position_ - start_), static_cast<size_t>(taken));
      got += taken, position_ += taken;
    }
    return static_cast<int>(got / static_cast<std::int64_t>(size));
  }
  int seek(INT64 offset, int whence) override {
    const std::int64_t from = whence == SEEK_CUR ? position_ : whence == SEEK_END ? file_.size() : 0;
    position_ = std::clamp<std::int64_t>(from + offset, 0, file_.size());
    return 0;
  }
  INT64 tell() override { return position_; }
  INT64 size() override { return file_.size(); }
  int get_char() override {
    if (!fill()) return -1;
    return static_cast<unsigned char>(buffer_[static_cast<size_t>(position_++ - start_)]);
  }
  char* gets(char* into, int most) override {
    if (most <= 0) return nullptr;
    int at = 0;
    while (at < most - 1) {
      const int c = get_char();
      if (c < 0) break;
      into[at++] = static_cast<char>(c);
      if (c == '\n') break;
    }
    into[at] = '\0';
    return at > 0 ? into : nullptr;
  }
  int scanf_one(const char* format, void* into) override {
    char word[24] = {};
    int at = 0, c = get_char();
    while (c >= 0 && std::isspace(c)) c = get_char();
    while (c >= 0 && !std::isspace(c) && at < static_cast<int>(sizeof word) - 1) {
      word[at++] = static_cast<char>(c);
      c = get_char();
    }
    return at > 0 ? std::sscanf(word, format, into) : -1;
  }
  int eof() override { return position_ >= file_.size(); }
  void* make_jas_stream() override { return nullptr; }

 private:
  static constexpr std::int64_t Block = 256 * 1024;
  std::int64_t held() const { return static_cast<std::int64_t>(length_); }
  // Whether the byte at the position is in the buffer, reading the block it
  // is in where it is not.
  bool fill() {
    if (position_ >= start_ && position_ < start_ + held()) return true;
    if (position_ >= file_.size() || (work_ && work_->cancelled())) return false;
    buffer_.resize(static_cast<size_t>(Block));
    std::int64_t got = 0;
    runCatchingErrors([&] { got = file_.readAt(position_, buffer_.data(), Block); });
    start_ = position_;
    length_ = static_cast<size_t>(std::max<std::int64_t>(got, 0));
    return length_ > 0;
  }

  const ReadableFile& file_;
  const BackgroundWork* work_;
  std::vector<char> buffer_;
  std::int64_t start_ = 0, position_ = 0;
  size_t length_ = 0;
};

// The camera's turn of the picture, by LibRaw's flip: 3 half a turn, 5 a
// quarter against the clock, 6 a quarter with it.
QImageIOHandler::Transformations turnOf(int flip) {
  return flip == 3   ? QImageIOHandler::TransformationRotate180
         : flip == 5 ? QImageIOHandler::TransformationRotate270
         : flip == 6 ? QImageIOHandler::TransformationRotate90
                     : QImageIOHandler::TransformationNone;
}

bool sameShape(QSize a, QSize b) {
  return std::abs(qint64{a.width()} * b.height() - qint64{a.height()} * b.width()) <=
         qint64{std::max(a.width(), a.height())} * 2;
}

// The camera's embedded JPEG, decoded as any JPEG file is (reduced for a
// box, its own profile honoured) from a memory file holding its bytes, and
// turned as the camera orients the picture where it is stored unturned.
std::optional<DecodedRaster> embeddedJpeg(LibRaw& raw, QSize natural, QSize box, ColourTarget target,
                                          const BackgroundWork* work) {
  const libraw_thumbnail_t& thumbnail = raw.imgdata.thumbnail;
  if (raw.unpack_thumb() != LIBRAW_SUCCESS || thumbnail.tformat != LIBRAW_THUMBNAIL_JPEG || !thumbnail.thumb ||
      thumbnail.tlength < 4)
    return std::nullopt;
  const int memory = ::memfd_create("embedded", MFD_CLOEXEC);
  if (memory < 0) return std::nullopt;
  const ReadableFile embedded(memory, FileState{0, 0, static_cast<std::int64_t>(thumbnail.tlength), 0});
  if (::write(memory, thumbnail.thumb, thumbnail.tlength) != static_cast<ssize_t>(thumbnail.tlength))
    return std::nullopt;
  DecodedRaster decoded;
  if (runCatchingErrors([&] { decoded = decodeRaster(embedded, box, target, work); })) return std::nullopt;
  // Camera JPEGs are stored unturned, unless one says otherwise and came
  // out of its decoding turned a quarter already.
  const int flip = raw.imgdata.sizes.flip;
  if (!((flip & 4) && sameShape(decoded.natural, natural)))
    decoded.pixels = turned(std::move(decoded.pixels), turnOf(flip));
  if (!sameShape(decoded.pixels.size(), natural)) return std::nullopt;
  decoded.natural = natural;
  return decoded;
}

// The picture developed from the sensor's data: the camera's white balance,
// sRGB (shown as every picture in sRGB is), 8 bits, turned as the camera
// says; at half its size where that is enough; in memory handed on where it
// is kept as it is, not reduced.
QImage developed(LibRaw& raw, bool halfSize, bool handedOn) {
  raw.imgdata.params.half_size = halfSize ? 1 : 0;
  raw.imgdata.params.use_camera_wb = 1;
  raw.imgdata.params.output_color = 1;  // sRGB
  raw.imgdata.params.output_bps = 8;
  if (raw.unpack() != LIBRAW_SUCCESS || raw.dcraw_process() != LIBRAW_SUCCESS) raise(errors::InvalidPicture);
  int error = 0;
  const std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> made(
      raw.dcraw_make_mem_image(&error), LibRaw::dcraw_clear_mem);
  if (!made || made->type != LIBRAW_IMAGE_BITMAP || made->bits != 8 || made->colors != 3) raise(errors::InvalidPicture);
  const QSize size(made->width, made->height);
  if (overAllocationLimit(size) || made->data_size < static_cast<unsigned>(size.width() * size.height() * 3))
    raise(errors::InvalidPicture);
  QImage pixels = handedOn ? newPicture(size, QImage::Format_RGB32) : QImage(size, QImage::Format_RGB32);
  if (pixels.isNull()) raise(errors::InvalidPicture);
  const unsigned char* from = made->data;
  for (int y = 0; y < size.height(); ++y) {
    auto* to = reinterpret_cast<QRgb*>(pixels.scanLine(y));
    for (int x = 0; x < size.width(); ++x, from += 3) to[x] = qRgb(from[0], from[1], from[2]);
  }
  return pixels;
}

}  // namespace

// LibRaw develops through OpenMP, whose run time starts itself on the first
// parallel section (LLVM's, as the sanitized builds use, looks for tools on
// disk then): an empty one is run now.
void prepareRawDecoding() {
  using Parallel = void (*)(void (*)(void*), void*, unsigned, unsigned);
  if (const auto parallel = reinterpret_cast<Parallel>(::dlsym(RTLD_DEFAULT, "GOMP_parallel")))
    parallel([](void*) {}, nullptr, 0, 0);
}

bool mayBeRaw(const QByteArray& first) {
  const auto at = [&](qsizetype offset, const char* bytes, qsizetype length) {
    return first.size() >= offset + length &&
           std::memcmp(first.constData() + offset, bytes, static_cast<size_t>(length)) == 0;
  };
  return at(0, "II*\0", 4) || at(0, "MM\0*", 4) ||                    // TIFF's, as most cameras write
         at(4, "ftypcrx ", 8) ||                                      // Canon CR3
         at(6, "HEAPCCDR", 8) ||                                      // Canon CRW
         at(0, "FUJIFILMCCD-RAW", 15) ||                              // Fujifilm RAF
         at(0, "IIRO", 4) || at(0, "IIRS", 4) || at(0, "MMOR", 4) ||  // Olympus ORF
         at(0, "IIU\0", 4) ||                                         // Panasonic RW2
         at(0, "FOVb", 4) || at(0, "\0MRM", 4);                       // Sigma X3F, Minolta MRW
}

std::optional<DecodedRaster> decodeRaw(const ReadableFile& file, QSize box, ColourTarget target,
                                       const BackgroundWork* work) {
  const auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
  // A file that declares more than the pictures this program shows is
  // refused before its data is read.
  raw->imgdata.params.max_raw_memory_mb = Picture::AllocationLimitMegabytes;
  FileStream stream(file, work);
  if (raw->open_datastream(&stream) != LIBRAW_SUCCESS) return std::nullopt;
  const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
  const QSize stored(sizes.width, sizes.height);
  const QSize natural = sizes.flip & 4 ? stored.transposed() : stored;
  if (natural.isEmpty() || overAllocationLimit(natural)) raise(errors::InvalidPicture);

  const std::optional<QSize> reduced = reducedFor(natural, box);
  const QSize wanted = reduced.value_or(natural);
  const libraw_thumbnail_t& thumbnail = raw->imgdata.thumbnail;
  const QSize embeddedSize(thumbnail.twidth, thumbnail.theight);
  // The embedded JPEG serves where it is as large as what is wanted, either
  // way round (LibRaw knows its size before it reads it).
  if (embeddedSize.isEmpty() ||
      std::max(embeddedSize.width(), embeddedSize.height()) >= std::max(wanted.width(), wanted.height()))
    if (auto decoded = embeddedJpeg(*raw, natural, reduced ? box : QSize(), target, work)) {
      decoded->reduced = reduced.has_value();
      if (reduced || decoded->pixels.size() == natural) return decoded;
    }
  if (work && work->cancelled()) raise(errors::InvalidPicture);
  QImage pixels = developed(
      *raw, reduced && wanted.width() * 2 <= natural.width() && wanted.height() * 2 <= natural.height(), !reduced);
  if (reduced) pixels = pixels.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return DecodedRaster{natural, std::move(pixels), reduced.has_value()};
}

}  // namespace platform
