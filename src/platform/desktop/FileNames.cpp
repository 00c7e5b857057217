#include "platform/desktop/FileNames.h"

#include <glib.h>

#include <algorithm>
#include <memory>

namespace platform {

namespace {

constexpr char16_t FirstStrayByte = 0xDC80, LastStrayByte = 0xDCFF;

// The length of the valid UTF-8 sequence at the start of bytes, or 0: no
// overlong forms, no surrogates, nothing above U+10FFFF.
int validSequenceAt(const unsigned char* bytes, qsizetype left) {
  const unsigned char first = bytes[0];
  if (first < 0x80) return 1;
  int length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (first >= 0xC2 && first <= 0xDF) length = 2;
  else if (first == 0xE0) length = 3, low = 0xA0;
  else if (first == 0xED) length = 3, high = 0x9F;
  else if (first >= 0xE1 && first <= 0xEF) length = 3;
  else if (first == 0xF0) length = 4, low = 0x90;
  else if (first >= 0xF1 && first <= 0xF3) length = 4;
  else if (first == 0xF4) length = 4, high = 0x8F;
  else return 0;
  if (left < length || bytes[1] < low || bytes[1] > high) return 0;
  for (int i = 2; i < length; ++i)
    if (bytes[i] < 0x80 || bytes[i] > 0xBF) return 0;
  return length;
}

bool isStrayByte(QChar c) { return c.unicode() >= FirstStrayByte && c.unicode() <= LastStrayByte; }

}  // namespace

QString fileNameText(const QByteArray& native) {
  QString text;
  text.reserve(native.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(native.constData());
  for (qsizetype at = 0; at < native.size();) {
    if (const int length = validSequenceAt(bytes + at, native.size() - at)) {
      text += QString::fromUtf8(native.constData() + at, length);
      at += length;
    } else {
      text += QChar(char16_t(0xDC00 + bytes[at]));
      ++at;
    }
  }
  return text;
}

QByteArray nativeFileName(const QString& text) {
  QByteArray native;
  native.reserve(text.size());
  for (qsizetype at = 0; at < text.size(); ++at) {
    const QChar c = text[at];
    if (isStrayByte(c)) {
      native += char(c.unicode() - 0xDC00);
    } else if (c.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
      native += QStringView(text).mid(at, 2).toUtf8();
      ++at;
    } else {
      native += QStringView(text).mid(at, 1).toUtf8();  // a lone surrogate otherwise becomes U+FFFD
    }
  }
  return native;
}

QString displayedName(const QString& text) {
  // Most names have no stray byte: they show as they are, at no cost to a
  // folder of many files.
  if (std::none_of(text.begin(), text.end(), isStrayByte)) return text;
  const QByteArray native = nativeFileName(text);
  const std::unique_ptr<gchar, decltype(&g_free)> shown(g_filename_display_name(native.constData()), &g_free);
  return QString::fromUtf8(shown.get());
}

}  // namespace platform
