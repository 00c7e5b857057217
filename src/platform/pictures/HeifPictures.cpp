#include "platform/pictures/NewerFormats.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace platform {

namespace {

// The longest side libheif is to read: beyond it a file is refused before
// anything is decoded. The pixel cap is checked as for every picture.
constexpr int LongestSide = 65'535;

template <auto Free>
struct Freeing {
  template <typename T>
  void operator()(T* held) const {
    Free(held);
  }
};
using Context = std::unique_ptr<heif_context, Freeing<heif_context_free>>;
using Handle = std::unique_ptr<heif_image_handle, Freeing<heif_image_handle_release>>;
using Image = std::unique_ptr<heif_image, Freeing<heif_image_release>>;
using Options = std::unique_ptr<heif_decoding_options, Freeing<heif_decoding_options_free>>;
using Nclx = std::unique_ptr<heif_color_profile_nclx, Freeing<heif_nclx_color_profile_free>>;

void check(const heif_error& error) {
  if (error.code != heif_error_Ok) raise(errors::InvalidPicture);
}

// libheif reads the file handed over through this.
struct Reading {
  const ReadableFile* file;
  const BackgroundWork* work;
  std::int64_t position = 0;

  static Reading& of(void* reading) { return *static_cast<Reading*>(reading); }
  static heif_reader reader() {
    heif_reader reader{};
    reader.reader_api_version = 1;
    reader.get_position = [](void* reading) { return of(reading).position; };
    reader.read = [](void* into, size_t size, void* reading) {
      Reading& from = of(reading);
      if (from.work && from.work->cancelled()) return 1;
      const std::int64_t wanted = static_cast<std::int64_t>(size);
      std::int64_t got = -1;
      runCatchingErrors([&] { got = from.file->readAt(from.position, static_cast<char*>(into), wanted); });
      if (got != wanted) return 1;
      from.position += got;
      return 0;
    };
    reader.seek = [](std::int64_t to, void* reading) {
      Reading& at = of(reading);
      if (to < 0 || to > at.file->size()) return 1;
      at.position = to;
      return 0;
    };
    reader.wait_for_file_size = [](std::int64_t size, void* reading) {
      return size <= of(reading).file->size() ? heif_reader_grow_status_size_reached
                                              : heif_reader_grow_status_size_beyond_eof;
    };
    return reader;
  }
};

QSize sizeOf(const heif_image_handle* handle) {
  return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

// The picture's own thumbnail, where one is at least as large as the size.
Handle thumbnailOfAtLeast(const heif_image_handle* primary, QSize size) {
  const int count = std::min(heif_image_handle_get_number_of_thumbnails(primary), 16);
  if (count <= 0) return nullptr;
  heif_item_id ids[16];
  heif_image_handle_get_list_of_thumbnail_IDs(primary, ids, count);
  Handle best;
  for (int i = 0; i < count; ++i) {
    heif_image_handle* thumbnail = nullptr;
    if (heif_image_handle_get_thumbnail(primary, ids[i], &thumbnail).code != heif_error_Ok) continue;
    Handle held(thumbnail);
    const QSize at = sizeOf(thumbnail);
    if (at.width() < size.width() || at.height() < size.height()) continue;
    if (!best || qint64{at.width()} * at.height() < qint64{sizeOf(best.get()).width()} * sizeOf(best.get()).height())
      best = std::move(held);
  }
  return best;
}

// The colours the picture is meant in: its ICC profile, or the ones its
// numbers declare.
QByteArray profileOf(const heif_image_handle* handle) {
  switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
      QByteArray profile(static_cast<qsizetype>(heif_image_handle_get_raw_color_profile_size(handle)),
                         Qt::Uninitialized);
      if (profile.isEmpty() || heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
        return {};
      return profile;
    }
    case heif_color_profile_type_nclx: {
      heif_color_profile_nclx* declared = nullptr;
      if (heif_image_handle_get_nclx_color_profile(handle, &declared).code != heif_error_Ok || !declared) return {};
      const Nclx nclx(declared);
      return cicpProfile({{nclx->color_primary_red_x, nclx->color_primary_red_y},
                          {nclx->color_primary_green_x, nclx->color_primary_green_y},
                          {nclx->color_primary_blue_x, nclx->color_primary_blue_y},
                          {nclx->color_primary_white_x, nclx->color_primary_white_y},
                          static_cast<int>(nclx->transfer_characteristics),
                          nclx->color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                              nclx->color_primaries == heif_color_primaries_unspecified});
    }
    default:
      return {};
  }
}

// The picture of the handle, turned and mirrored as the file says, as 32-bit
// pixels: with alpha where it has any; in memory handed on where it is kept
// as it is, not reduced.
QImage decoded(const heif_image_handle* handle, bool handedOn, const BackgroundWork* work) {
  const bool alpha = heif_image_handle_has_alpha_channel(handle);
  const Options options(heif_decoding_options_alloc());
  if (!options) raise(errors::InvalidPicture);
  options->ignore_transformations = 0;
  options->convert_hdr_to_8bit = 1;
  heif_image* made = nullptr;
  check(heif_decode_image(handle, &made, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()));
  const Image image(made);
  if (work && work->cancelled()) raise(errors::InvalidPicture);
  int stride = 0;
  const std::uint8_t* rows = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const QSize size(heif_image_get_width(image.get(), heif_channel_interleaved),
                   heif_image_get_height(image.get(), heif_channel_interleaved));
  if (!rows || size.isEmpty() || overAllocationLimit(size)) raise(errors::InvalidPicture);
  const QImage::Format format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
  QImage pixels = handedOn ? newPicture(size, format) : QImage(size, format);
  if (pixels.isNull()) raise(errors::InvalidPicture);
  const int step = alpha ? 4 : 3;
  for (int y = 0; y < size.height(); ++y) {
    const std::uint8_t* from = rows + static_cast<qsizetype>(y) * stride;
    auto* to = reinterpret_cast<QRgb*>(pixels.scanLine(y));
    for (int x = 0; x < size.width(); ++x, from += step)
      to[x] = qRgba(from[0], from[1], from[2], alpha ? from[3] : 255);
  }
  return pixels;
}

}  // namespace

void prepareHeifDecoding() { heif_init(nullptr); }

bool isHeif(const QByteArray& firstBytes) {
  return firstBytes.size() >= 12 &&
         heif_check_filetype(reinterpret_cast<const std::uint8_t*>(firstBytes.constData()),
                             static_cast<int>(firstBytes.size())) == heif_filetype_yes_supported;
}

DecodedRaster decodeHeif(const ReadableFile& file, QSize box, ColourTarget target, const BackgroundWork* work) {
  const Context context(heif_context_alloc());
  if (!context) raise(errors::InvalidPicture);
  heif_context_set_maximum_image_size_limit(context.get(), LongestSide);
  Reading reading{&file, work};
  const heif_reader reader = Reading::reader();
  check(heif_context_read_from_reader(context.get(), &reader, &reading, nullptr));
  heif_image_handle* found = nullptr;
  check(heif_context_get_primary_image_handle(context.get(), &found));
  const Handle primary(found);
  const QSize natural = sizeOf(primary.get());
  if (natural.isEmpty() || overAllocationLimit(natural)) raise(errors::InvalidPicture);

  const std::optional<QSize> reduced = reducedFor(natural, box);
  const Handle thumbnail = reduced ? thumbnailOfAtLeast(primary.get(), *reduced) : nullptr;
  const heif_image_handle* shown = thumbnail ? thumbnail.get() : primary.get();
  QImage pixels = decoded(shown, !reduced, work);
  if (reduced && pixels.size() != *reduced)
    pixels = pixels.scaled(*reduced, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  // A thumbnail that declares no colours of its own is in its picture's.
  const bool ownColours = heif_image_handle_get_color_profile_type(shown) != heif_color_profile_type_not_present;
  const QByteArray profile = profileOf(ownColours ? shown : primary.get());
  return {natural, convertedColours(std::move(pixels), profile, target), reduced.has_value()};
}

}  // namespace platform
