// Pictures whose files say in which colours they are meant: a chart of
// patches saved in other colour spaces with the profile embedded shows, in
// the preview's reduced copy and in the whole picture, the sRGB colours
// lcms2 itself makes of the stored values; pictures without a profile, with
// sRGB's or with a broken one come out as they are.
#include "platform/pictures/ColourProfiles.h"
#include "platform/pictures/Picture.h"
#include "support/FreshProgram.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QPainter>

#include <cstdio>
#include <functional>
#include <vector>

#include <jpeglib.h>
#include <lcms2.h>

using platform::Picture;

namespace {

// Primaries, teal, skin, sky, foliage and grey, in sRGB.
const std::vector<QRgb> Patches = {qRgb(255, 0, 0),     qRgb(0, 255, 0),    qRgb(0, 0, 255),   qRgb(36, 175, 174),
                                   qRgb(194, 150, 130), qRgb(98, 122, 157), qRgb(87, 108, 67), qRgb(128, 128, 128)};
constexpr int Side = 64;  // of a patch; the chart is a row of them

std::shared_ptr<void> profileFrom(const QByteArray& icc) {
  return {icc.isEmpty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(icc.constData(), static_cast<cmsUInt32Number>(icc.size())), cmsCloseProfile};
}

// Values through lcms2 from one profile to another (empty: sRGB), at its
// most exact: perceptual where the first has tables for it, else
// colorimetric with black point compensation.
std::vector<std::uint16_t> converted(const std::vector<std::uint16_t>& values, const QByteArray& from, cmsUInt32Number fromType,
                                     const QByteArray& to, cmsUInt32Number toType) {
  const auto in = profileFrom(from), out = profileFrom(to);
  const bool perceptual = cmsIsCLUT(in.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT);
  cmsHTRANSFORM transform =
      cmsCreateTransform(in.get(), fromType, out.get(), toType, perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC,
                         cmsFLAGS_NOOPTIMIZE | (perceptual ? 0 : cmsFLAGS_BLACKPOINTCOMPENSATION));
  const size_t pixels = values.size() / T_CHANNELS(fromType), channels = T_CHANNELS(toType);
  std::vector<std::uint16_t> result(pixels * channels);
  cmsDoTransform(transform, values.data(), result.data(), static_cast<cmsUInt32Number>(pixels));
  cmsDeleteTransform(transform);
  return result;
}

std::vector<std::uint16_t> patchValues() {
  std::vector<std::uint16_t> values;
  for (const QRgb patch : Patches) values.insert(values.end(), {std::uint16_t(qRed(patch) * 257), std::uint16_t(qGreen(patch) * 257), std::uint16_t(qBlue(patch) * 257)});
  return values;
}

// The chart with these values, three or four to a patch, 16 bits each.
QImage chart(const std::vector<std::uint16_t>& values, int channels, QImage::Format format) {
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

// A JPEG written with libjpeg: RGB, or CMYK inverted with Adobe's marker as
// Photoshop writes it; with the profile unless it is empty. The colours are
// stored as they are, not as luminance and chroma.
QByteArray jpegFile(const std::vector<std::uint16_t>& values, int channels, const QByteArray& profile) {
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
  info.in_color_space = channels == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, channels == 4 ? JCS_CMYK : JCS_RGB);  // kept as given, flat patches exactly
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  if (!profile.isEmpty())
    jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET*>(profile.constData()), static_cast<unsigned>(profile.size()));
  std::vector<JSAMPLE> row(info.image_width * static_cast<unsigned>(channels));
  for (size_t x = 0; x < info.image_width; ++x)
    for (int c = 0; c < channels; ++c) {
      const int value = values[(x / Side) * static_cast<size_t>(channels) + static_cast<size_t>(c)] >> 8;
      row[x * static_cast<size_t>(channels) + static_cast<size_t>(c)] = static_cast<JSAMPLE>(channels == 4 ? 255 - value : value);
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

QByteArray written(QImage image, const QColorSpace& space, const char* format) {
  image.setColorSpace(space);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  QImageWriter writer(&buffer, format);
  if (QByteArray(format) != "png") writer.setQuality(100);
  return writer.write(image) ? bytes : QByteArray();
}

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The picture drawn at this size, as a screen shows it.
QImage shown(const Picture& picture, QSize size) {
  picture.prepareDrawing(size);
  QImage screen(size, QImage::Format_RGB32);
  QPainter painter(&screen);
  picture.draw(painter, QRect(QPoint(0, 0), size), QRect(QPoint(0, 0), size));
  return screen;
}

using Colour = FreshProgram;

TEST_F(Colour, TaggedChartsShowTheColoursLcmsMakesOfThemInThePreviewAndTheWholePicture) {
  const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
  const QByteArray proPhoto = QColorSpace(QColorSpace::ProPhotoRgb).iccProfile();
  const QByteArray cmyk = fileBytes("/usr/share/color/icc/ghostscript/default_cmyk.icc");
  ASSERT_FALSE(cmyk.isEmpty()) << "the CMYK profile of libgs-common";
  const auto in = [&](const QByteArray& profile, cmsUInt32Number type) {
    return converted(patchValues(), {}, TYPE_RGB_16, profile, type);
  };
  const auto in8 = [&](const QByteArray& profile) {  // as 8-bit pixels hold them
    std::vector<std::uint16_t> values = in(profile, TYPE_RGB_16);
    for (std::uint16_t& v : values) v = static_cast<std::uint16_t>((v + 128) / 257 * 257);
    return values;
  };
  const struct {
    const char* name;
    QByteArray file, profile;
    std::vector<std::uint16_t> stored;  // 16 bits a channel
    cmsUInt32Number type;
  } cases[] = {
      {"adobe.jpg", written(chart(in8(adobe), 3, QImage::Format_RGB32), QColorSpace::AdobeRgb, "jpeg"), adobe, in8(adobe), TYPE_RGB_16},
      {"adobe.png", written(chart(in8(adobe), 3, QImage::Format_RGB32), QColorSpace::AdobeRgb, "png"), adobe, in8(adobe), TYPE_RGB_16},
      {"adobe.webp", written(chart(in8(adobe), 3, QImage::Format_RGB32), QColorSpace::AdobeRgb, "webp"), adobe, in8(adobe), TYPE_RGB_16},
      {"prophoto.jpg", jpegFile(in8(proPhoto), 3, proPhoto), proPhoto, in8(proPhoto), TYPE_RGB_16},
      {"prophoto16.png", written(chart(in(proPhoto, TYPE_RGB_16), 3, QImage::Format_RGBX64), QColorSpace::ProPhotoRgb, "png"),
       proPhoto, in(proPhoto, TYPE_RGB_16), TYPE_RGB_16},
      {"prophoto16.tif", written(chart(in(proPhoto, TYPE_RGB_16), 3, QImage::Format_RGBX64), QColorSpace::ProPhotoRgb, "tiff"),
       proPhoto, in(proPhoto, TYPE_RGB_16), TYPE_RGB_16},
      {"cmyk.jpg", jpegFile(in(cmyk, TYPE_CMYK_16), 4, cmyk), cmyk, in(cmyk, TYPE_CMYK_16), TYPE_CMYK_16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.file.isEmpty());
    writeFile(c.name, c.file);
    std::vector<std::uint16_t> stored = c.stored;
    if (c.type == TYPE_CMYK_16)  // as 8-bit pixels hold them
      for (std::uint16_t& v : stored) v = static_cast<std::uint16_t>((v >> 8) * 257);
    const std::vector<std::uint16_t> expected = converted(stored, c.profile, c.type, {}, TYPE_RGB_16);
    const Picture whole = Picture::load(pathOf(c.name));
    const Picture preview = Picture::loadFitting(pathOf(c.name), QSize(128, 16));
    for (const auto& [what, pixels] : {std::pair{"whole", whole.image()}, std::pair{"preview", shown(preview, {128, 16})}}) {
      const int patch = pixels.width() / static_cast<int>(Patches.size());
      for (int p = 0; p < static_cast<int>(Patches.size()); ++p) {
        const QRgb got = pixels.pixel(p * patch + patch / 2, pixels.height() / 2);
        int want[3];
        for (int i = 0; i < 3; ++i) want[i] = (expected[static_cast<size_t>(p * 3 + i)] + 128) / 257;
        EXPECT_LE(std::max({std::abs(qRed(got) - want[0]), std::abs(qGreen(got) - want[1]), std::abs(qBlue(got) - want[2])}), 3)
            << what << " patch " << p << ": " << qRed(got) << "," << qGreen(got) << "," << qBlue(got) << " for " << want[0]
            << "," << want[1] << "," << want[2];
      }
    }
  }
}

// Without a profile, with sRGB's or with a broken one, a JPEG is decoded as
// it always was, bit for bit; a CMYK JPEG without a profile too.
TEST_F(Colour, UntaggedSrgbAndBrokenProfilesLeaveThePixelsAsTheyAre) {
  QByteArray broken = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
  broken.replace(128, 4, "\xff\xff\xff\x7f");  // the tag count
  const QByteArray halfProfile = QColorSpace(QColorSpace::AdobeRgb).iccProfile().left(200);
  const std::vector<std::uint16_t> cmyk = converted(patchValues(), {}, TYPE_RGB_16,
                                                    fileBytes("/usr/share/color/icc/ghostscript/default_cmyk.icc"), TYPE_CMYK_16);
  const QImage untagged = Picture::load(writeFile("plain.jpg", jpegFile(patchValues(), 3, {}))).image();
  const QImage untaggedCmyk = Picture::load(writeFile("plain-cmyk.jpg", jpegFile(cmyk, 4, {}))).image();
  const std::tuple<const char*, QByteArray, const QImage*> cases[] = {
      {"srgb.jpg", jpegFile(patchValues(), 3, QColorSpace(QColorSpace::SRgb).iccProfile()), &untagged},
      {"broken.jpg", jpegFile(patchValues(), 3, broken), &untagged},
      {"half.jpg", jpegFile(patchValues(), 3, halfProfile), &untagged},
      {"cmyk-for-rgb.jpg", jpegFile(cmyk, 4, QColorSpace(QColorSpace::AdobeRgb).iccProfile()), &untaggedCmyk},
  };
  for (const auto& [name, bytes, expected] : cases) {
    const QImage decoded = Picture::load(writeFile(name, bytes)).image();
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), expected->convertToFormat(QImage::Format_RGB32)) << name;
  }
  // CMYK without a profile: the stored inks as black's share of each colour's.
  const QRgb teal = untaggedCmyk.pixel(3 * Side + Side / 2, Side / 2);
  const int k = 255 - (cmyk[15] >> 8);
  EXPECT_NEAR(qRed(teal), k * (255 - (cmyk[12] >> 8)) / 255, 3);
}

// A camera in Adobe RGB mode says so in its EXIF; the interoperability index
// must say R03 too.
TEST(ColourProfiles, ExifDeclaresAdobeRgbOnlyAsTheDcfOptionFileDoes) {
  // Little-endian TIFF: IFD0 with the EXIF pointer; the EXIF directory with
  // the colour space and the interoperability pointer; that directory.
  const auto exif = [](std::uint16_t colourSpace, const char* index) {
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, QByteArray value) {
      tiff.append(reinterpret_cast<const char*>(&tag), 2).append(reinterpret_cast<const char*>(&type), 2);
      tiff.append(reinterpret_cast<const char*>(&count), 4).append(value.leftJustified(4, '\0'));
    };
    const auto number = [](std::uint32_t value) { return QByteArray(reinterpret_cast<const char*>(&value), 4); };
    tiff.append("\x01\0", 2), entry(0x8769, 4, 1, number(26)), tiff.append(4, '\0');  // ends at 26
    tiff.append("\x02\0", 2), entry(0xA001, 3, 1, number(colourSpace)), entry(0xA005, 4, 1, number(56)), tiff.append(4, '\0');
    tiff.append("\x01\0", 2), entry(0x0001, 2, 4, QByteArray(index, 4)), tiff.append(4, '\0');
    return QByteArray("Exif\0\0", 6) + tiff;
  };
  EXPECT_TRUE(platform::exifDeclaresAdobeRgb(exif(0xFFFF, "R03")));
  EXPECT_FALSE(platform::exifDeclaresAdobeRgb(exif(1, "R03"))) << "sRGB";
  EXPECT_FALSE(platform::exifDeclaresAdobeRgb(exif(0xFFFF, "R98")));
  EXPECT_FALSE(platform::exifDeclaresAdobeRgb(exif(0xFFFF, "R03").left(60))) << "cut";
  EXPECT_FALSE(platform::adobeRgbProfile().isEmpty());
}

}  // namespace
