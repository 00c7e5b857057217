// Pictures whose files say in which colours they are meant: a chart of
// patches saved in other colour spaces with the profile embedded shows, in
// the preview's reduced copy and in the whole picture, the colours lcms2
// itself makes of the stored values, in sRGB or the display's profile;
// pictures without a profile, with sRGB's or with a broken one come out as
// they are.
#include "platform/pictures/ColourProfiles.h"
#include "platform/pictures/DecoderWorkers.h"
#include "platform/pictures/Picture.h"
#include "support/ColourChart.h"
#include "support/FreshProgram.h"

#include <QColorSpace>
#include <QPainter>

#include <vector>

using platform::Picture;
using namespace colour_chart;

namespace {

// The picture drawn at this size, as a screen shows it.
QImage shown(const Picture& picture, QSize size) {
  picture.prepareDrawing(size);
  QImage screen(size, QImage::Format_RGB32);
  QPainter painter(&screen);
  picture.draw(painter, QRect(QPoint(0, 0), size), QRect(QPoint(0, 0), size));
  return screen;
}

// Each patch's centre within three steps of the expected colour.
void expectPatches(const QImage& pixels, const std::vector<int>& expected, const char* what) {
  const int patch = pixels.width() / static_cast<int>(Patches.size());
  for (size_t p = 0; p < Patches.size(); ++p) {
    const QRgb got = pixels.pixel(static_cast<int>(p) * patch + patch / 2, pixels.height() / 2);
    const int* want = &expected[p * 3];
    EXPECT_LE(
        std::max({std::abs(qRed(got) - want[0]), std::abs(qGreen(got) - want[1]), std::abs(qBlue(got) - want[2])}), 3)
        << what << " patch " << p << ": " << qRed(got) << "," << qGreen(got) << "," << qBlue(got) << " for " << want[0]
        << "," << want[1] << "," << want[2];
  }
}

// A preview box of an eighth of the chart: a patch a block.
const QSize PreviewBox(Side* static_cast<int>(Patches.size()) / 8, Side / 8);

using Colour = FreshProgram;

TEST_F(Colour, TaggedChartsShowTheColoursLcmsMakesOfThemInThePreviewAndTheWholePicture) {
  for (const TaggedChart& c : taggedCharts()) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.file.isEmpty()) << "written (the CMYK profile comes with libgs-common)";
    writeFile(c.name, c.file);
    expectPatches(Picture::load(pathOf(c.name)).image(), c.expected(), "whole");
    expectPatches(shown(Picture::loadFitting(pathOf(c.name), PreviewBox), PreviewBox), c.expected(), "preview");
  }
  // A photo large enough that its rows are converted beside the decoding.
  const TaggedChart adobe = taggedCharts().front();
  QImage photo(1500, 700, QImage::Format_RGB32);
  photo.fill(qRgb(adobe.stored[3] / 257, adobe.stored[4] / 257, adobe.stored[5] / 257));  // skin
  const QRgb got =
      Picture::load(writeFile("photo.jpg", written(photo, QColorSpace::AdobeRgb, "jpeg"))).image().pixel(700, 300);
  EXPECT_NEAR(qRed(got), adobe.expected()[3], 3);
  EXPECT_NEAR(qGreen(got), adobe.expected()[4], 3);
  EXPECT_NEAR(qBlue(got), adobe.expected()[5], 3);
}

// Without a profile, with sRGB's or with a broken one, a JPEG is decoded as
// it always was, bit for bit; a CMYK JPEG without a profile too.
TEST_F(Colour, UntaggedSrgbAndBrokenProfilesLeaveThePixelsAsTheyAre) {
  QByteArray broken = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
  broken.replace(128, 4, "\xff\xff\xff\x7f");  // the tag count
  const QByteArray halfProfile = QColorSpace(QColorSpace::AdobeRgb).iccProfile().left(200);
  const std::vector<std::uint16_t> cmyk =
      converted(patchValues(), {}, TYPE_RGB_16,
                fileBytes(QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc")), TYPE_CMYK_16);
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
  const QRgb foliage = untaggedCmyk.pixel(3 * Side + Side / 2, Side / 2);
  const int k = 255 - (cmyk[15] >> 8);
  EXPECT_NEAR(qRed(foliage), k * (255 - (cmyk[12] >> 8)) / 255, 3);
}

// On a display whose profile the desktop publishes (here one of Adobe RGB's
// gamut), tagged pictures show in its colours, untagged and sRGB ones as
// they are; a bitmap saved from them holds sRGB's, which other programs
// take it for. sRGB's own profile, or a broken one, leaves the display at sRGB.
TEST_F(Colour, OnADisplayWithAProfileTaggedPicturesShowInItsColoursAndSaveInSrgb) {
  for (const QByteArray& notOwn : {QColorSpace(QColorSpace::SRgb).iccProfile(), QByteArray("acsp broken", 11)}) {
    platform::setDisplayProfile(notOwn);
    EXPECT_FALSE(platform::displayHasOwnProfile());
  }
  // The workers that decode are handed the display's profile.
  struct DisplayProfile {
    explicit DisplayProfile(const QByteArray& profile) { platform::DecoderWorkers::setDisplayProfile(profile); }
    ~DisplayProfile() { platform::DecoderWorkers::setDisplayProfile({}); }
  };
  const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
  const DisplayProfile display(adobe);
  for (const TaggedChart& c : taggedCharts()) {
    if (QByteArray(c.name) != "prophoto.jpg" && QByteArray(c.name) != "adobe.png") continue;
    SCOPED_TRACE(c.name);
    writeFile(c.name, c.file);
    const Picture whole = Picture::load(pathOf(c.name));
    expectPatches(whole.image(), c.expected(adobe), "whole");
    expectPatches(shown(Picture::loadFitting(pathOf(c.name), PreviewBox), PreviewBox), c.expected(adobe), "preview");
    whole.saveAsBitmap(pathOf("saved.bmp"));
    expectPatches(QImage(pathOf("saved.bmp")), c.expected(), "saved");
  }
  const QByteArray plain = jpegFile(patchValues(), 3, {});
  const QImage untagged = Picture::load(writeFile("plain.jpg", plain)).image();
  EXPECT_EQ(untagged, QImage::fromData(plain).convertToFormat(untagged.format()));
  const QImage srgbTagged =
      Picture::load(writeFile("srgb.jpg", jpegFile(patchValues(), 3, QColorSpace(QColorSpace::SRgb).iccProfile())))
          .image();
  EXPECT_EQ(srgbTagged, untagged);
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
    tiff.append("\x02\0", 2), entry(0xA001, 3, 1, number(colourSpace)), entry(0xA005, 4, 1, number(56)),
        tiff.append(4, '\0');
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

// Colours declared by numbers (as HEIF, AVIF and JPEG XL do): Display P3's
// primaries with sRGB's curve give the colours lcms2 makes of them (worked
// out apart from this program: 200,60,60 in P3 is 217,42,52 in sRGB), and
// sRGB's or BT.709's own numbers, or an HDR curve, ask for no conversion.
TEST(ColourProfiles, ColoursDeclaredByNumbersConvertAsTheirProfileWould) {
  const platform::CicpColours p3{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.3127, 0.3290}, 13, false};
  QImage pixels(2, 1, QImage::Format_RGB32);
  pixels.setPixel(0, 0, qRgb(200, 60, 60));
  pixels.setPixel(1, 0, qRgb(128, 128, 128));
  const QImage shown = platform::convertedColours(pixels, platform::cicpProfile(p3), platform::ColourTarget::Srgb);
  const auto near = [](QRgb got, QRgb want) {
    return std::max({std::abs(qRed(got) - qRed(want)), std::abs(qGreen(got) - qGreen(want)),
                     std::abs(qBlue(got) - qBlue(want))}) <= 1;
  };
  EXPECT_TRUE(near(shown.pixel(0, 0), qRgb(217, 42, 52))) << std::hex << shown.pixel(0, 0);
  EXPECT_TRUE(near(shown.pixel(1, 0), qRgb(128, 128, 128))) << "grey stays grey: the same white and curve";

  platform::CicpColours bt709 = p3;
  bt709.srgbPrimaries = true;
  for (const int transfer : {1, 13, 6}) {
    bt709.transfer = transfer;
    EXPECT_TRUE(platform::cicpProfile(bt709).isEmpty()) << transfer;
  }
  platform::CicpColours pq = p3;
  pq.transfer = 16;
  EXPECT_TRUE(platform::cicpProfile(pq).isEmpty()) << "PQ is for HDR displays";
}
