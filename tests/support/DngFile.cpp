#include "support/DngFile.h"

#include <QBuffer>
#include <QtEndian>

#include <map>
#include <vector>

namespace {

enum Type : quint16 { Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SRational = 10 };

// One IFD: its entries by tag (TIFF keeps them in order), each value's bytes.
struct Ifd {
  struct Entry {
    Type type;
    quint32 count;
    QByteArray value;
  };
  std::map<quint16, Entry> entries;

  template <typename T>
  static QByteArray little(const std::vector<T>& values) {
    QByteArray bytes;
    for (T value : values) {
      const T stored = qToLittleEndian(value);
      bytes.append(reinterpret_cast<const char*>(&stored), sizeof stored);
    }
    return bytes;
  }
  void shorts(quint16 tag, const std::vector<quint16>& values) {
    entries[tag] = {Short, static_cast<quint32>(values.size()), little(values)};
  }
  void longs(quint16 tag, const std::vector<quint32>& values) {
    entries[tag] = {Long, static_cast<quint32>(values.size()), little(values)};
  }
  void bytes(quint16 tag, const QByteArray& values) {
    entries[tag] = {Byte, static_cast<quint32>(values.size()), values};
  }
  void text(quint16 tag, const QByteArray& value) {
    entries[tag] = {Ascii, static_cast<quint32>(value.size() + 1), value + '\0'};
  }
  // Fractions as numerator and denominator pairs.
  void rationals(quint16 tag, const std::vector<qint32>& pairs, bool isSigned) {
    entries[tag] = {isSigned ? SRational : Rational, static_cast<quint32>(pairs.size() / 2), little(pairs)};
  }

  // Written at the offset: the entries, no next IFD, then the values longer
  // than four bytes.
  QByteArray at(quint32 offset) const {
    QByteArray table = little(std::vector<quint16>{static_cast<quint16>(entries.size())});
    QByteArray beyond;
    const quint32 beyondAt = offset + 2 + 12 * static_cast<quint32>(entries.size()) + 4;
    for (const auto& [tag, entry] : entries) {
      table += little(std::vector<quint16>{tag, entry.type}) + little(std::vector<quint32>{entry.count});
      if (entry.value.size() <= 4) {
        table += entry.value.leftJustified(4, '\0');
      } else {
        table += little(std::vector<quint32>{beyondAt + static_cast<quint32>(beyond.size())});
        beyond += entry.value;
        if (beyond.size() % 2) beyond += '\0';
      }
    }
    return table + little(std::vector<quint32>{0}) + beyond;
  }
};

}  // namespace

QByteArray dngFile(const QImage& sensor, const QImage& preview, int orientation) {
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  preview.save(&buffer, "JPEG", 95);
  if (jpeg.size() % 2) jpeg += '\0';
  // RGGB: red at even rows and columns, blue at odd ones, green between.
  std::vector<quint16> photosites;
  photosites.reserve(static_cast<size_t>(sensor.width()) * static_cast<size_t>(sensor.height()));
  for (int y = 0; y < sensor.height(); ++y)
    for (int x = 0; x < sensor.width(); ++x) {
      const QRgb pixel = sensor.pixel(x, y);
      const int value = y % 2 == 0 && x % 2 == 0 ? qRed(pixel) : y % 2 && x % 2 ? qBlue(pixel) : qGreen(pixel);
      photosites.push_back(static_cast<quint16>(value * 257));
    }
  const QByteArray raw = Ifd::little(photosites);

  Ifd first, sensorIfd;
  first.longs(254, {1});  // a reduced picture: the preview
  first.longs(256, {static_cast<quint32>(preview.width())});
  first.longs(257, {static_cast<quint32>(preview.height())});
  first.shorts(258, {8, 8, 8});
  first.shorts(259, {7});  // JPEG
  first.shorts(262, {6});  // YCbCr
  first.text(271, "Tavlo");
  first.text(272, "Test Camera");
  first.shorts(274, {static_cast<quint16>(orientation)});
  first.shorts(277, {3});
  first.longs(278, {static_cast<quint32>(preview.height())});
  first.longs(279, {static_cast<quint32>(jpeg.size())});
  first.bytes(50706, QByteArray("\x01\x04\x00\x00", 4));  // DNG 1.4
  first.text(50708, "Tavlo Test Camera");
  // sRGB's primaries as the camera's (XYZ to camera), daylight, no tint.
  first.rationals(50721,
                  {32404542, 10000000, -15371385, 10000000, -4985314, 10000000,  //
                   -9692660, 10000000, 18760108, 10000000, 415560, 10000000,     //
                   556434, 10000000, -2040259, 10000000, 10572252, 10000000},    //
                  true);
  first.rationals(50728, {1, 1, 1, 1, 1, 1}, false);
  first.shorts(50778, {21});  // D65
  first.longs(330, {0});      // the sub-IFD's offset, set below

  sensorIfd.longs(254, {0});
  sensorIfd.longs(256, {static_cast<quint32>(sensor.width())});
  sensorIfd.longs(257, {static_cast<quint32>(sensor.height())});
  sensorIfd.shorts(258, {16});
  sensorIfd.shorts(259, {1});      // uncompressed
  sensorIfd.shorts(262, {32803});  // colour filter array
  sensorIfd.shorts(277, {1});
  sensorIfd.longs(278, {static_cast<quint32>(sensor.height())});
  sensorIfd.longs(279, {static_cast<quint32>(raw.size())});
  sensorIfd.shorts(284, {1});
  sensorIfd.shorts(33421, {2, 2});
  sensorIfd.bytes(33422, QByteArray("\x00\x01\x01\x02", 4));
  sensorIfd.longs(50717, {65535});  // white level
  sensorIfd.longs(273, {0});
  first.longs(273, {0});

  // The offsets depend only on the sizes, which the offsets do not change.
  const quint32 sensorIfdAt = 8 + static_cast<quint32>(first.at(8).size());
  const quint32 jpegAt = sensorIfdAt + static_cast<quint32>(sensorIfd.at(sensorIfdAt).size());
  const quint32 rawAt = jpegAt + static_cast<quint32>(jpeg.size());
  first.longs(330, {sensorIfdAt});
  first.longs(273, {jpegAt});
  sensorIfd.longs(273, {rawAt});
  return QByteArray("II*\0\x08\0\0\0", 8) + first.at(8) + sensorIfd.at(sensorIfdAt) + jpeg + raw;
}
