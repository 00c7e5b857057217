#include "platform/pictures/ReducedJpeg.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/pictures/ColourProfiles.h"
#include "platform/pictures/Picture.h"
#include "platform/pictures/PictureFile.h"
#include "platform/pictures/RasterDecoding.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csetjmp>
#include <sys/mman.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include <jpeglib.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14
#endif

namespace platform {

namespace {

// Colour rows converted beside the decoding, where the whole of a large
// picture is decoded: the conversion then costs little time beyond the
// decoding. A thread of its own makes the pages of the rows ahead of the
// decoder, so that it does not stop to fault them in, and converts the rows
// written, in bands from the top; where it falls behind, the decoding
// converts a band itself, and once the decoding is done, it takes bands too.
struct RowConversion {
  static constexpr int Band = 32;
  static constexpr int Backlog = 4 * Band;     // rows written and not converted that the decoding takes on
  static constexpr int PagesAhead = 8 * Band;  // rows ahead of the decoder whose pages are made first
  std::shared_ptr<const ColourTransform> transform;
  uchar* bits = nullptr;
  qsizetype stride = 0;
  int width = 0, height = 0;
  std::atomic<int> written{0};
  std::atomic<int> taken{0};  // rows given to a thread to convert
  int madeAhead = 0;          // rows whose pages the thread has made
  std::atomic<bool> stopped{false};
  std::mutex mutex;
  std::condition_variable more;
  std::thread thread;

  // Whole pages around the bytes, as the kernel makes them.
  static void makePages(uchar* from, qsizetype bytes) {
    constexpr std::uintptr_t Page = 4096;
    const auto start = reinterpret_cast<std::uintptr_t>(from) & ~(Page - 1);
    const auto end =
        (reinterpret_cast<std::uintptr_t>(from) + static_cast<std::uintptr_t>(bytes) + Page - 1) & ~(Page - 1);
    ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
  }
  void convertRows(int first, int count) const {
    for (int row = first; row < first + count; ++row)
      transform->convert(bits + row * stride, bits + row * stride, width);
  }
  // Takes the next band of the rows written, if there is one: whether it did.
  bool convertBand(int upTo) {
    int next = taken.load();
    if (next >= upTo) return false;
    const int count = std::min(Band, upTo - next);
    if (taken.compare_exchange_strong(next, next + count)) convertRows(next, count);
    return true;
  }
  void run() {
    while (taken.load() < height) {
      const int ready = written.load(std::memory_order_acquire);
      if (madeAhead < height && madeAhead < ready + PagesAhead) {
        madeAhead = std::max(madeAhead, ready);
        const int count = std::min(Band * 4, height - madeAhead);
        makePages(bits + madeAhead * stride, count * stride);
        madeAhead += count;
      } else if (!convertBand(ready)) {
        if (stopped.load()) return;
        std::unique_lock lock(mutex);
        more.wait_for(lock, std::chrono::milliseconds(2));
      }
    }
  }
  // Rows up to this one are written; called from the decoding, where
  // nothing may throw.
  void rowsWritten(int rows) noexcept {
    written.store(rows, std::memory_order_release);
    if (!thread.joinable() || (rows % Band != 0 && rows != height)) return;
    more.notify_one();
    if (rows - taken.load() >= Backlog) convertBand(rows);
  }
  // Whether every row is converted, once the thread has ended; the rows
  // left are shared with it when the whole picture was decoded.
  bool finish() {
    if (!thread.joinable()) return false;
    const bool complete = written.load() == height;
    stopped = true;
    more.notify_one();
    if (complete)
      while (convertBand(height)) {
      }
    thread.join();
    return complete;
  }
};

// Everything a decoding touches lives here, made before libjpeg runs: an
// error inside libjpeg jumps back past the code that called it, so no object
// that needs destroying may live in those frames.
struct Decoding {
  struct Errors : jpeg_error_mgr {
    std::jmp_buf jump;
  } errors;

  struct Source : jpeg_source_mgr {
    Decoding* owner = nullptr;
  } source;

  jpeg_decompress_struct info{};
  const ReadableFile* file = nullptr;
  const BackgroundWork* work = nullptr;
  std::int64_t offset = 0;  // of the next bytes to read
  bool readPastTheEnd = false;
  bool cancelled = false;
  std::array<JOCTET, 64 * 1024> buffer{};
  QImage image;
  std::array<JSAMPROW, 1> row{};
  std::vector<JOCTET> cmykRow;
  // The colours the pixels are meant in: the embedded profile, or Adobe
  // RGB's where the EXIF says so. CMYK with a profile is kept as it is
  // stored until that profile converts it.
  QByteArray profile;
  ColourTarget target = ColourTarget::Display;
  bool cmyk = false, keepsCmyk = false;
  ColourTransform::Layout cmykLayout = ColourTransform::Layout::InvertedCmyk8;
  RowConversion rows;
};

// Colour rows are converted beside the decoding where that is worth it: a
// large picture in colours other than the target's.
std::shared_ptr<const ColourTransform> rowTransform(const Decoding& decoding, QSize size, QImage::Format format) {
  if (decoding.profile.isEmpty() || format != QImage::Format_RGB32 || qint64{size.width()} * size.height() < 1'000'000)
    return nullptr;
  return ColourTransform::to(decoding.target, decoding.profile, ColourTransform::Layout::Bgra8);
}

void startRowConversion(Decoding& decoding) {
  RowConversion& rows = decoding.rows;
  if (!rows.transform) return;
  rows.bits = decoding.image.bits();
  rows.stride = decoding.image.bytesPerLine();
  rows.width = decoding.image.width();
  rows.height = decoding.image.height();
  runCatchingErrors([&] { rows.thread = std::thread([&rows] { rows.run(); }); });
}

// The profile the markers embed, else Adobe RGB's where the EXIF declares it.
QByteArray profileOf(jpeg_decompress_struct& info) {
  JOCTET* icc = nullptr;
  unsigned int length = 0;
  if (jpeg_read_icc_profile(&info, &icc, &length) && icc) {
    QByteArray profile(reinterpret_cast<const char*>(icc), static_cast<qsizetype>(length));
    std::free(icc);
    return profile;
  }
  for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next)
    if (marker->marker == JPEG_APP0 + 1 &&
        exifDeclaresAdobeRgb(QByteArray::fromRawData(reinterpret_cast<const char*>(marker->data),
                                                     static_cast<qsizetype>(marker->data_length))))
      return adobeRgbProfile();
  return {};
}

ColourTransform::Layout cmykLayoutOf(const jpeg_decompress_struct& info) {
  return info.saw_Adobe_marker ? ColourTransform::Layout::InvertedCmyk8 : ColourTransform::Layout::Cmyk8;
}

Decoding& decodingOf(j_decompress_ptr info) { return *static_cast<Decoding::Source*>(info->src)->owner; }

[[noreturn]] void fail(j_common_ptr info) { std::longjmp(static_cast<Decoding::Errors*>(info->err)->jump, 1); }

void keepQuiet(j_common_ptr /*info*/) {}

void startReading(j_decompress_ptr /*info*/) {}

boolean fillBuffer(j_decompress_ptr info) {
  Decoding& decoding = decodingOf(info);
  if (decoding.work && decoding.work->cancelled()) {
    decoding.cancelled = true;
    fail(reinterpret_cast<j_common_ptr>(info));
  }
  std::int64_t got = 0;
  if (runCatchingErrors([&] {
        got = decoding.file->readAt(decoding.offset, reinterpret_cast<char*>(decoding.buffer.data()),
                                    static_cast<std::int64_t>(decoding.buffer.size()));
      }))
    fail(reinterpret_cast<j_common_ptr>(info));
  if (got == 0) {
    // The data ends before the picture does: an end marker lets libjpeg finish.
    decoding.readPastTheEnd = true;
    decoding.buffer[0] = 0xFF;
    decoding.buffer[1] = JPEG_EOI;
    got = 2;
  } else {
    decoding.offset += got;
  }
  decoding.source.next_input_byte = decoding.buffer.data();
  decoding.source.bytes_in_buffer = static_cast<size_t>(got);
  return TRUE;
}

void skipBytes(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  Decoding& decoding = decodingOf(info);
  const auto skipped = static_cast<size_t>(count);
  if (skipped <= decoding.source.bytes_in_buffer) {
    decoding.source.next_input_byte += skipped;
    decoding.source.bytes_in_buffer -= skipped;
    return;
  }
  decoding.offset += static_cast<std::int64_t>(skipped - decoding.source.bytes_in_buffer);
  decoding.source.bytes_in_buffer = 0;
  fillBuffer(info);
}

void stopReading(j_decompress_ptr /*info*/) {}

// The smallest of libjpeg's scales, in eighths, that gives at least the size.
int eighthsFor(const jpeg_decompress_struct& info, QSize atLeast) {
  for (int eighths = 1; eighths < 8; ++eighths) {
    const auto scaled = [&](JDIMENSION side) { return (static_cast<qint64>(side) * eighths + 7) / 8; };
    if (scaled(info.image_width) >= atLeast.width() && scaled(info.image_height) >= atLeast.height()) return eighths;
  }
  return 8;
}

// Whether the first scans have given every component its blocks' averages.
bool everyAverageIsIn(const jpeg_decompress_struct& info) {
  for (int component = 0; component < info.num_components; ++component)
    if (info.coef_bits[component][0] < 0) return false;
  return true;
}

void readRows(Decoding& decoding) {
  jpeg_decompress_struct& info = decoding.info;
  while (info.output_scanline < info.output_height) {
    if (decoding.work && decoding.work->cancelled()) {
      decoding.cancelled = true;
      fail(reinterpret_cast<j_common_ptr>(&info));
    }
    const auto line = static_cast<int>(info.output_scanline);
    if (info.out_color_space == JCS_CMYK && !decoding.keepsCmyk) {
      decoding.row[0] = decoding.cmykRow.data();
      jpeg_read_scanlines(&info, decoding.row.data(), 1);
      // As stored by the programs that write CMYK JPEGs: inverted.
      auto* out = reinterpret_cast<QRgb*>(decoding.image.scanLine(line));
      const JOCTET* in = decoding.cmykRow.data();
      for (JDIMENSION x = 0; x < info.output_width; ++x, in += 4) {
        const int k = in[3];
        out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
      }
    } else {
      decoding.row[0] = decoding.image.scanLine(line);
      jpeg_read_scanlines(&info, decoding.row.data(), 1);
      decoding.rows.rowsWritten(line + 1);
    }
  }
}

// Returns false when the colour model is one left to the general decoder.
bool decode(Decoding& decoding, QSize atLeast, bool& onlyFirstScans) {
  jpeg_decompress_struct& info = decoding.info;
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&info, TRUE);
  decoding.profile = profileOf(info);
  QImage::Format format = QImage::Format_RGB32;
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      info.out_color_space = JCS_GRAYSCALE;
      format = QImage::Format_Grayscale8;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      info.out_color_space = JCS_EXT_BGRX;  // the bytes of a 32-bit QImage pixel
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      info.out_color_space = JCS_CMYK;
      decoding.cmyk = true;
      decoding.cmykLayout = cmykLayoutOf(info);
      decoding.keepsCmyk = ColourTransform::to(decoding.target, decoding.profile, decoding.cmykLayout) != nullptr;
      break;
    default:
      return false;
  }
  info.scale_num = static_cast<unsigned>(eighthsFor(info, atLeast));
  info.scale_denom = 8;
  onlyFirstScans = info.progressive_mode && info.scale_num == 1;
  info.buffered_image = onlyFirstScans ? TRUE : FALSE;
  info.do_block_smoothing = FALSE;
  jpeg_calc_output_dimensions(&info);
  const QSize size(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
  if (static_cast<qint64>(size.width()) * size.height() * 4 > qint64{Picture::AllocationLimitMegabytes} << 20)
    fail(reinterpret_cast<j_common_ptr>(&info));
  // The thread converting rows, if any, also makes the pages ahead.
  decoding.rows.transform = onlyFirstScans ? nullptr : rowTransform(decoding, size, format);
  decoding.image = newPicture(size, format, decoding.rows.transform != nullptr);
  if (decoding.image.isNull()) fail(reinterpret_cast<j_common_ptr>(&info));
  if (info.out_color_space == JCS_CMYK && !decoding.keepsCmyk)
    decoding.cmykRow.resize(static_cast<size_t>(size.width()) * 4);

  jpeg_start_decompress(&info);
  if (onlyFirstScans) {
    for (;;) {
      const int status = jpeg_consume_input(&info);
      if (status == JPEG_REACHED_EOI) break;
      if (status == JPEG_SCAN_COMPLETED && everyAverageIsIn(info)) break;
    }
    jpeg_start_output(&info, info.input_scan_number);
    readRows(decoding);
    jpeg_finish_output(&info);
    jpeg_abort_decompress(&info);
  } else {
    startRowConversion(decoding);
    readRows(decoding);
    jpeg_finish_decompress(&info);
  }
  return true;
}

// Runs the decoding with libjpeg's errors coming back here.
bool guarded(Decoding& decoding, QSize atLeast, bool& supported, bool& onlyFirstScans) {
  if (setjmp(decoding.errors.jump)) return false;
  supported = decode(decoding, atLeast, onlyFirstScans);
  return true;
}

}  // namespace

std::optional<DecodedJpeg> decodeReducedJpeg(const ReadableFile& file, QSize atLeast, const BackgroundWork* work,
                                             ColourTarget target) {
  auto decoding = std::make_unique<Decoding>();
  decoding->file = &file;
  decoding->work = work;
  decoding->target = target;
  decoding->info.err = jpeg_std_error(&decoding->errors);
  decoding->errors.error_exit = fail;
  decoding->errors.output_message = keepQuiet;
  jpeg_create_decompress(&decoding->info);
  decoding->info.mem->max_memory_to_use = static_cast<long>(Picture::AllocationLimitMegabytes) << 20;
  decoding->source.owner = decoding.get();
  decoding->source.init_source = startReading;
  decoding->source.fill_input_buffer = fillBuffer;
  decoding->source.skip_input_data = skipBytes;
  decoding->source.resync_to_restart = jpeg_resync_to_restart;
  decoding->source.term_source = stopReading;
  decoding->info.src = &decoding->source;

  bool supported = true, onlyFirstScans = false;
  const bool decoded = guarded(*decoding, atLeast, supported, onlyFirstScans);
  const bool converted = decoding->rows.finish();
  jpeg_destroy_decompress(&decoding->info);
  if (decoding->cancelled) raise(errors::InvalidPicture);
  if (decoded && !supported) return std::nullopt;
  if (!decoded) raise(errors::InvalidPicture);
  // Read to its end marker, or, when only the first scans were read, with
  // one after its last scan.
  const bool complete = onlyFirstScans ? jpegIsComplete(file) : !decoding->readPastTheEnd;
  if (!complete) raise(errors::InvalidPicture);
  // CMYK and grey are converted as decoded; CMYK made RGB by the plain
  // formula has no profile that fits it.
  if (decoding->keepsCmyk)
    return DecodedJpeg{convertedColours(std::move(decoding->image), decoding->profile, target, decoding->cmykLayout),
                       {}};
  if (decoding->cmyk || converted) return DecodedJpeg{std::move(decoding->image), {}};
  if (decoding->image.format() == QImage::Format_Grayscale8)
    return DecodedJpeg{convertedColours(std::move(decoding->image), decoding->profile, target), {}};
  return DecodedJpeg{std::move(decoding->image), std::move(decoding->profile)};
}

}  // namespace platform
