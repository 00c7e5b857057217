#include "platform/forms/TextToNumber.h"

#include "platform/desktop/RuntimeError.h"
#include "platform/forms/Conversions.h"

#include <QRegularExpression>

namespace platform {

std::int16_t textToInt16(const QString& text) {
  static const QRegularExpression number(QStringLiteral("\\A[ \\t]*([+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+))[ \\t]*\\z"));
  const QRegularExpressionMatch match = number.match(text);
  if (!match.hasMatch()) raise(errors::TypeMismatch);
  bool ok = false;
  const double value = match.captured(1).toDouble(&ok);
  if (!ok) raise(errors::Overflow);
  return toInt16(value);
}

QString int16ToText(std::int16_t value) { return QString::number(value); }

}  // namespace platform
