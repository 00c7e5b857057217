// What the header reader makes of metafile headers, good and forged: the
// natural size, and the frame the drawing is shown in.
#include "platform/pictures/MetafileHeader.h"
#include "support/MetafileBytes.h"

#include <gtest/gtest.h>

using platform::MetafileHeader;
using platform::readMetafileHeader;

namespace {

constexpr double TwipsPerInch = 1440.0;

TEST(MetafileHeader, NaturalSizeComesFromEachKindOfHeader) {
  const struct {
    const char* what;
    QByteArray bytes;
    MetafileHeader::Kind kind;
    QSizeF twips;
  } cases[] = {
      {"placeable: box in units per inch", WmfBuilder().placeable(QRect(0, 0, 2000, 1000), 1000),
       MetafileHeader::Kind::PlaceableWmf, QSizeF(2 * TwipsPerInch, TwipsPerInch)},
      {"placeable: box off the origin", WmfBuilder().placeable(QRect(-4008, -3378, 8016, 6756), 1000),
       MetafileHeader::Kind::PlaceableWmf, QSizeF(8.016 * TwipsPerInch, 6.756 * TwipsPerInch)},
      {"plain: the first window extent, a unit a pixel",
       WmfBuilder().windowOrigin(269, -27).windowExtent(443, 182).windowExtent(5, 5).plain(),
       MetafileHeader::Kind::Wmf, QSizeF(443 * 15.0, 182 * 15.0)},
      {"plain: a flipped extent counts by its size", WmfBuilder().windowExtent(-400, 300).plain(),
       MetafileHeader::Kind::Wmf, QSizeF(400 * 15.0, 300 * 15.0)},
      {"plain: no window extent leaves the size to the drawing", WmfBuilder().filled(QRect(0, 0, 9, 9), 0).plain(),
       MetafileHeader::Kind::Wmf, QSizeF()},
      {"enhanced: frame in hundredths of a millimetre", emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000)),
       MetafileHeader::Kind::Emf, QSizeF(100 / 25.4 * TwipsPerInch, 50 / 25.4 * TwipsPerInch)},
      {"enhanced: no frame, so the bounds in device units",
       emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 0, 0), QSize(1024, 768), QSize(320, 240)),
       MetafileHeader::Kind::Emf, QSizeF(100 / 25.4 * TwipsPerInch, 50 / 25.4 * TwipsPerInch)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto header = readMetafileHeader(c.bytes);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->kind, c.kind);
    EXPECT_NEAR(header->twips.width(), c.twips.width(), 0.01);
    EXPECT_NEAR(header->twips.height(), c.twips.height(), 0.01);
  }
}

TEST(MetafileHeader, EnhancedFrameIsPlacedInDeviceUnitsFromTheBoundsCorner) {
  // 3.2 device units a millimetre; the frame starts 10 mm in, the drawing's
  // bounds 8 units in.
  const auto header = readMetafileHeader(emfFile(QRect(8, 16, 300, 150), QRect(1000, 1000, 5000, 2500)));
  ASSERT_TRUE(header.has_value());
  EXPECT_NEAR(header->emfFrame.x(), 32 - 8, 1e-9);
  EXPECT_NEAR(header->emfFrame.y(), 32 - 16, 1e-9);
  EXPECT_NEAR(header->emfFrame.width(), 160, 1e-9);
  EXPECT_NEAR(header->emfFrame.height(), 80, 1e-9);
}

TEST(MetafileHeader, ForgedSizesAndBrokenRecordChainsAreNotPictures) {
  QByteArray truncatedEmf = emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000));
  truncatedEmf.truncate(60);
  // A description of 128 characters starting at byte 20 of an 88-byte header.
  QByteArray descriptionOutside = emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000));
  descriptionOutside[60] = static_cast<char>(128);
  descriptionOutside[64] = 20;
  // A 108-byte header, its extensions saying 40 bytes of pixel format at 4096.
  QByteArray pixelFormatOutside =
      emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000), {1024, 768}, {320, 240}, 108);
  pixelFormatOutside.insert(88, QByteArray::fromHex("28000000" "00100000") + QByteArray(12, '\0'));
  // A record claiming no length would loop forever, one claiming four
  // gigabytes would send a reader far past the end.
  QByteArray recordRunsPastTheEnd = emfFile(QRect(0, 0, 10, 10), QRect(0, 0, 100, 100));
  recordRunsPastTheEnd.chop(4);
  WmfBuilder tooMany;
  for (int i = 0; i < platform::RecordLimit; ++i) tooMany.rawRecord(3, 0x0001);
  const struct {
    const char* what;
    QByteArray bytes;
  } cases[] = {
      {"no bytes", QByteArray()},
      {"not a metafile", QByteArray("GIF89a") + QByteArray(40, '\0')},
      {"placeable: no units per inch", WmfBuilder().placeable(QRect(0, 0, 100, 100), 0)},
      {"placeable: empty box", WmfBuilder().placeable(QRect(10, 10, 0, 100), 1440)},
      {"placeable: 32,767 inches wide", WmfBuilder().placeable(QRect(0, 0, 32767, 10), 1)},
      {"placeable: no metafile header after it", WmfBuilder().placeable(QRect(0, 0, 100, 100), 1440).left(30)},
      {"enhanced: no records after its header", emfFile(QRect(0, 0, 10, 10), QRect(0, 0, 100, 100)).left(60)},
      {"enhanced: cut off in its header", truncatedEmf},
      {"enhanced: description outside the header", descriptionOutside},
      {"enhanced: pixel format outside the header", pixelFormatOutside},
      {"enhanced: header longer than the file",
       emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000), {1024, 768}, {320, 240}, 4096)},
      {"enhanced: no device size", emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000), {0, 768})},
      {"enhanced: negative millimetres", emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000), {1024, 768}, {-320, 240})},
      {"enhanced: no frame and empty bounds", emfFile(QRect(0, 0, -1, -1), QRect(0, 0, -1, -1))},
      {"enhanced: a frame of a kilometre", emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 100'000'000, 5000))},
      {"WMF record of no length", WmfBuilder().rawRecord(0, 0x0103).windowExtent(400, 300).plain()},
      {"WMF record of four gigabytes", WmfBuilder().rawRecord(0xFFFFFFFF, 0x0103).windowExtent(400, 300).plain()},
      {"WMF record shorter than its header", WmfBuilder().rawRecord(2, 0x0103).plain()},
      {"placeable WMF cut in a record", WmfBuilder().windowExtent(40, 30).placeable(QRect(0, 0, 9, 9), 96).chopped(8)},
      {"EMF closing record cut short", recordRunsPastTheEnd},
      {"more records than the limit", tooMany.plain()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(readMetafileHeader(c.bytes).has_value());
  }

  // Bytes after the closing record are no part of the picture.
  const QByteArray emf = emfFile(QRect(0, 0, 10, 10), QRect(0, 0, 100, 100));
  const auto header = readMetafileHeader(emf + QByteArray(100, 'x'));
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->recordsEnd, emf.size());
}

}  // namespace
