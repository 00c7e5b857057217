#include "platform/pictures/NewerFormats.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <QThread>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace platform {

namespace {

// Files larger than this are not read whole into memory to be decoded.
constexpr std::int64_t LargestFile = std::int64_t{512} << 20;

struct DecoderFree {
  void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};
struct RunnerFree {
  void operator()(void* runner) const { JxlThreadParallelRunnerDestroy(runner); }
};

// libjxl writes bytes red, green, blue, alpha; a 32-bit picture holds them
// blue, green, red, alpha in memory.
void swapRedAndBlue(QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    uchar* pixel = image.scanLine(y);
    for (int x = 0; x < image.width(); ++x, pixel += 4) std::swap(pixel[0], pixel[2]);
  }
}

}  // namespace

bool isJxl(const QByteArray& firstBytes) {
  const JxlSignature signature = JxlSignatureCheck(reinterpret_cast<const uint8_t*>(firstBytes.constData()),
                                                   static_cast<size_t>(firstBytes.size()));
  return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

DecodedRaster decodeJxl(const ReadableFile& file, QSize box, ColourTarget target, const BackgroundWork* work) {
  if (file.size() > LargestFile) raise(errors::InvalidPicture);
  const QByteArray bytes = file.readAll();
  const std::unique_ptr<JxlDecoder, DecoderFree> decoder(JxlDecoderCreate(nullptr));
  const std::unique_ptr<void, RunnerFree> runner(
      JxlThreadParallelRunnerCreate(nullptr, static_cast<size_t>(std::max(1, QThread::idealThreadCount()))));
  if (!decoder || !runner ||
      JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
      JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
          JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                         static_cast<size_t>(bytes.size())) != JXL_DEC_SUCCESS)
    raise(errors::InvalidPicture);
  JxlDecoderCloseInput(decoder.get());

  const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  QSize natural;
  std::optional<QSize> reduced;
  QByteArray profile;
  QImage pixels;
  for (;;) {
    if (work && work->cancelled()) raise(errors::InvalidPicture);
    switch (JxlDecoderProcessInput(decoder.get())) {
      case JXL_DEC_BASIC_INFO: {
        JxlBasicInfo info{};
        if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) raise(errors::InvalidPicture);
        // Turned a quarter (orientations 5 to 8), it is shown the other way round.
        const QSize stored(static_cast<int>(std::min<uint32_t>(info.xsize, INT_MAX)),
                           static_cast<int>(std::min<uint32_t>(info.ysize, INT_MAX)));
        natural = info.orientation > JXL_ORIENT_ROTATE_180 ? stored.transposed() : stored;
        if (natural.isEmpty() || overAllocationLimit(natural)) raise(errors::InvalidPicture);
        reduced = reducedFor(natural, box);
        break;
      }
      case JXL_DEC_COLOR_ENCODING: {
        size_t size = 0;
        if (JxlDecoderGetICCProfileSize(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) ==
                JXL_DEC_SUCCESS &&
            size > 0 && size < (std::size_t{8} << 20)) {
          profile.resize(static_cast<qsizetype>(size));
          if (JxlDecoderGetColorAsICCProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                             reinterpret_cast<uint8_t*>(profile.data()), size) != JXL_DEC_SUCCESS)
            profile.clear();
        }
        break;
      }
      case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
        size_t size = 0;
        if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &size) != JXL_DEC_SUCCESS)
          raise(errors::InvalidPicture);
        // A reduced copy is made of it: the whole is kept in this process's
        // own memory, not in memory handed on.
        pixels = reduced ? QImage(natural, QImage::Format_ARGB32) : newPicture(natural, QImage::Format_ARGB32);
        if (pixels.isNull() || static_cast<size_t>(pixels.sizeInBytes()) != size ||
            JxlDecoderSetImageOutBuffer(decoder.get(), &format, pixels.bits(), size) != JXL_DEC_SUCCESS)
          raise(errors::InvalidPicture);
        break;
      }
      case JXL_DEC_FULL_IMAGE: {
        // The first frame of an animation is its picture.
        if (pixels.isNull()) raise(errors::InvalidPicture);
        swapRedAndBlue(pixels);
        if (reduced) pixels = pixels.scaled(*reduced, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return {natural, convertedColours(std::move(pixels), profile, target), reduced.has_value()};
      }
      case JXL_DEC_SUCCESS:
      case JXL_DEC_ERROR:
      case JXL_DEC_NEED_MORE_INPUT:
      default:
        raise(errors::InvalidPicture);
    }
  }
}

}  // namespace platform
