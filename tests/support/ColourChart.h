#pragma once

// A chart of colour patches saved in other colour spaces, and what lcms2
// itself makes of the stored values: for the colour tests and the bench.

#include <QBuffer>
#include <QColor>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <lcms2.h>

namespace colour_chart {

// The 24 patches of the usual colour checker (skin, sky, foliage, flowers,
// the primaries and secondaries as printed, six greys), then pure red,
// green and blue; in sRGB.
inline const std::vector<QRgb> Patches = {
    qRgb(115, 82, 68),   qRgb(194, 150, 130), qRgb(98, 122, 157), qRgb(87, 108, 67),   qRgb(133, 128, 177),
    qRgb(103, 189, 170), qRgb(214, 126, 44),  qRgb(80, 91, 166),  qRgb(193, 90, 99),   qRgb(94, 60, 108),
    qRgb(157, 188, 64),  qRgb(224, 163, 46),  qRgb(56, 61, 150),  qRgb(70, 148, 73),   qRgb(175, 54, 60),
    qRgb(231, 199, 31),  qRgb(187, 86, 149),  qRgb(8, 133, 161),  qRgb(243, 243, 242), qRgb(200, 200, 200),
    qRgb(160, 160, 160), qRgb(122, 122, 121), qRgb(85, 85, 85),   qRgb(52, 52, 52),    qRgb(255, 0, 0),
    qRgb(0, 255, 0),     qRgb(0, 0, 255)};
constexpr int Side = 64;  // of a patch; the chart is a row of them

inline std::shared_ptr<void> profileFrom(const QByteArray& icc) {
  return {icc.isEmpty() ? cmsCreate_sRGBProfile()
                        : cmsOpenProfileFromMem(icc.constData(), static_cast<cmsUInt32Number>(icc.size())),
          cmsCloseProfile};
}

// Values through lcms2 from one profile to another (empty: sRGB), at its
// most exact: perceptual where the first has tables for it, else
// colorimetric with black point compensation.
inline std::vector<std::uint16_t> converted(const std::vector<std::uint16_t>& values, const QByteArray& from,
                                            cmsUInt32Number fromType, const QByteArray& to, cmsUInt32Number toType) {
  const auto in = profileFrom(from), out = profileFrom(to);
  const bool perceptual = cmsIsCLUT(in.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT);
  cmsHTRANSFORM transform = cmsCreateTransform(
      in.get(), fromType, out.get(), toType, perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC,
      cmsFLAGS_NOOPTIMIZE | (perceptual ? 0 : cmsFLAGS_BLACKPOINTCOMPENSATION));
  const size_t pixels = values.size() / T_CHANNELS(fromType), channels = T_CHANNELS(toType);
  std::vector<std::uint16_t> result(pixels * channels);
  cmsDoTransform(transform, values.data(), result.data(), static_cast<cmsUInt32Number>(pixels));
  cmsDeleteTransform(transform);
  return result;
}

inline std::vector<std::uint16_t> patchValues() {
  std::vector<std::uint16_t> values;
  for (const QRgb patch : Patches)
    values.insert(values.end(), {std::uint16_t(qRed(patch) * 257), std::uint16_t(qGreen(patch) * 257),
                                 std::uint16_t(qBlue(patch) * 257)});
  return values;
}

// The chart with these values, three or four to a patch, 16 bits each.
inline QImage chart(const std::vector<std::uint16_t>& values, int channels, QImage::Format format) {
  QImage image(Side * static_cast<int>(Patches.size()), Side, format);
  for (int p = 0; p < static_cast<int>(Patches.size()); ++p) {
    const std::uint16_t* v = &values[static_cast<size_t>(p * channels)];
    const QColor colour = channels == 4 ? QColor::fromCmyk(v[0] >> 8, v[1] >> 8, v[2] >> 8, v[3] >> 8)
                                        : QColor::fromRgba64(v[0], v[1], v[2]);
    for (int y = 0; y < Side; ++y)
      for (int x = p * Side; x < (p + 1) * Side; ++x) image.setPixelColor(x, y, colour);
  }
  return image;
}

// A JPEG written with libjpeg: grey, RGB, or CMYK inverted with Adobe's
// marker as Photoshop writes it; with the profile unless it is empty. The colours are
// stored as they are, not as luminance and chroma.
inline QByteArray jpegFile(const std::vector<std::uint16_t>& values, int channels, const QByteArray& profile) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* data = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &data, &size);
  info.image_width = Side * static_cast<JDIMENSION>(Patches.size());
  info.image_height = Side;
  info.input_components = channels;
  info.in_color_space = channels == 4 ? JCS_CMYK : channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, info.in_color_space);  // kept as given, flat patches exactly
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  if (!profile.isEmpty())
    jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET*>(profile.constData()),
                           static_cast<unsigned>(profile.size()));
  std::vector<JSAMPLE> row(info.image_width * static_cast<unsigned>(channels));
  for (size_t x = 0; x < info.image_width; ++x)
    for (int c = 0; c < channels; ++c) {
      const int value = values[(x / Side) * static_cast<size_t>(channels) + static_cast<size_t>(c)] >> 8;
      row[x * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
          static_cast<JSAMPLE>(channels == 4 ? 255 - value : value);
    }
  while (info.next_scanline < info.image_height) {
    JSAMPROW line = row.data();
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  std::free(data);
  return file;
}

inline QByteArray written(QImage image, const QColorSpace& space, const char* format) {
  image.setColorSpace(space);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  QImageWriter writer(&buffer, format);
  if (QByteArray(format) != "png") writer.setQuality(100);  // webp: lossless
  return writer.write(image) ? bytes : QByteArray();
}

inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The chart in a file of some format and colour space, and the values it
// stores, 16 bits a channel, of the profile's kind (RGB or CMYK).
struct TaggedChart {
  const char* name;
  QByteArray file, profile;
  std::vector<std::uint16_t> stored;
  cmsUInt32Number type;

  // What lcms2 makes of the stored values in sRGB (or another profile),
  // 8 bits a channel.
  std::vector<int> expected(const QByteArray& in = {}) const {
    std::vector<int> values;
    for (const std::uint16_t v : converted(stored, profile, type, in, TYPE_RGB_16)) values.push_back((v + 128) / 257);
    return values;
  }
};

// Grey of linear light, as scanners and astronomers' pictures store it.
inline QByteArray linearGreyProfile() {
  cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
  cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), linear);
  cmsFreeToneCurve(linear);
  cmsUInt32Number size = 0;
  QByteArray bytes;
  if (cmsSaveProfileToMem(grey, nullptr, &size)) {
    bytes.resize(static_cast<qsizetype>(size));
    cmsSaveProfileToMem(grey, bytes.data(), &size);
  }
  cmsCloseProfile(grey);
  return bytes;
}

// Adobe RGB and ProPhoto at 8 and 16 bits in each format that keeps a
// profile, CMYK with ghostscript's default CMYK profile, and linear grey.
inline std::vector<TaggedChart> taggedCharts() {
  const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
  const QByteArray proPhoto = QColorSpace(QColorSpace::ProPhotoRgb).iccProfile();
  const QByteArray cmyk = fileBytes(QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc"));
  const auto in = [&](const QByteArray& profile, cmsUInt32Number type, int bits) {
    std::vector<std::uint16_t> values = converted(patchValues(), {}, TYPE_RGB_16, profile, type);
    if (bits == 8)  // as 8-bit pixels hold them
      for (std::uint16_t& v : values) v = static_cast<std::uint16_t>((v >> 8) * 257);
    return values;
  };
  const auto adobe8 = in(adobe, TYPE_RGB_16, 8), proPhoto8 = in(proPhoto, TYPE_RGB_16, 8);
  const auto proPhoto16 = in(proPhoto, TYPE_RGB_16, 16), cmyk8 = in(cmyk, TYPE_CMYK_16, 8);
  const QByteArray grey = linearGreyProfile();
  const auto grey8 = in(grey, TYPE_GRAY_16, 8);
  return {
      {"adobe.jpg", jpegFile(adobe8, 3, adobe), adobe, adobe8, TYPE_RGB_16},
      {"adobe.png", written(chart(adobe8, 3, QImage::Format_RGB32), QColorSpace::AdobeRgb, "png"), adobe, adobe8,
       TYPE_RGB_16},
      {"adobe.webp", written(chart(adobe8, 3, QImage::Format_RGB32), QColorSpace::AdobeRgb, "webp"), adobe, adobe8,
       TYPE_RGB_16},
      {"prophoto.jpg", jpegFile(proPhoto8, 3, proPhoto), proPhoto, proPhoto8, TYPE_RGB_16},
      {"prophoto16.png", written(chart(proPhoto16, 3, QImage::Format_RGBX64), QColorSpace::ProPhotoRgb, "png"),
       proPhoto, proPhoto16, TYPE_RGB_16},
      {"prophoto16.tif", written(chart(proPhoto16, 3, QImage::Format_RGBX64), QColorSpace::ProPhotoRgb, "tiff"),
       proPhoto, proPhoto16, TYPE_RGB_16},
      {"cmyk.jpg", cmyk.isEmpty() ? QByteArray() : jpegFile(cmyk8, 4, cmyk), cmyk, cmyk8, TYPE_CMYK_16},
      {"grey.jpg", jpegFile(grey8, 1, grey), grey, grey8, TYPE_GRAY_16},
  };
}

}  // namespace colour_chart
