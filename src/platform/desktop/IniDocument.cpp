#include "platform/desktop/IniDocument.h"

#include <QStringList>

#include <algorithm>
#include <optional>

namespace platform {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isLineEnd(char c) { return c == '\n' || c == '\r'; }
bool isHexDigit(char16_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// The C escapes of values, by letter.
constexpr char EscapeLetters[] = "abfnrtv";
constexpr char EscapedCharacters[] = "\a\b\f\n\r\t\v";
constexpr int EscapeCount = 7;

struct Line {
  qsizetype start, end, equals;
};

// The next line from `at`, blank lines and comment lines skipped. A quoted
// part and a backslash carry a line past its line end; an unquoted ';'
// starts a comment that runs to the line's end.
std::optional<Line> nextLine(const QByteArray& text, qsizetype& at) {
  const qsizetype size = text.size();
  for (;;) {
    while (at < size && isBlank(text[at])) ++at;
    if (at >= size) return std::nullopt;
    if (text[at] != ';') break;
    while (at < size && !isLineEnd(text[at])) ++at;
  }
  Line line{at, size, -1};
  bool quoted = false;
  for (; at < size; ++at) {
    const char c = text[at];
    if (c == '\\' && at + 1 < size) {
      const char escaped = text[++at];
      if (at + 1 < size && isLineEnd(escaped) && isLineEnd(text[at + 1]) && text[at + 1] != escaped) ++at;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == '=' && !quoted && line.equals < 0) {
      line.equals = at;
    } else if ((isLineEnd(c) || c == ';') && !quoted) {
      break;
    }
  }
  line.end = std::min(at, size);
  return line;
}

// Keys and section names: '/' stands as '\', other characters than letters,
// digits, '_', '-' and '.' as %XX or %UXXXX.
QByteArray escapedKey(const QString& key) {
  QByteArray out;
  for (const QChar character : key) {
    const char16_t c = character.unicode();
    if (c == '/')
      out += '\\';
    else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
             c == '.')
      out += static_cast<char>(c);
    else
      out += (c <= 0xFF ? "%" : "%U") + QByteArray::number(c, 16).toUpper().rightJustified(c <= 0xFF ? 2 : 4, '0');
  }
  return out;
}

QString unescapedKey(const QByteArray& text) {
  QString key;
  for (qsizetype at = 0; at < text.size();) {
    const char c = text[at];
    if (c == '\\') {
      key += QLatin1Char('/');
      ++at;
      continue;
    }
    if (c == '%' && at + 1 < text.size()) {
      const bool wide = text[at + 1] == 'U';
      const qsizetype from = at + (wide ? 2 : 1), digits = wide ? 4 : 2;
      bool ok = false;
      const uint code = from + digits <= text.size() ? text.mid(from, digits).toUInt(&ok, 16) : 0;
      if (ok) {
        key += QChar(static_cast<char16_t>(code));
        at = from + digits;
        continue;
      }
    }
    key += QLatin1Char(c);
    ++at;
  }
  return key;
}

// A text value: a leading '@' doubled (a single one marks Qt's typed
// values), C escapes for control characters, quotes, backslashes and NULs,
// UTF-8 for the rest; quoted when it holds ';', ',' or '=' or begins or
// ends with a blank.
QByteArray escapedValue(const QString& text) {
  const QString value = text.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + text : text;
  QByteArray out;
  QString plain;  // characters written as they are, in UTF-8, at the next escape
  bool quote = false, escapeHexDigit = false;
  auto escape = [&](const QByteArray& escaped) {
    out += plain.toUtf8() + escaped;
    plain.clear();
  };
  for (const QChar character : value) {
    const char16_t c = character.unicode();
    if (c == ';' || c == ',' || c == '=') quote = true;
    // After \0 or \x.., a hex digit would read as part of the escape.
    if (escapeHexDigit && isHexDigit(c)) {
      escape("\\x" + QByteArray::number(c, 16));
      continue;
    }
    escapeHexDigit = false;
    const char* named = std::find(EscapedCharacters, EscapedCharacters + EscapeCount, c);
    if (c == 0) {
      escape("\\0");
      escapeHexDigit = true;
    } else if (named != EscapedCharacters + EscapeCount) {
      escape(QByteArray("\\") + EscapeLetters[named - EscapedCharacters]);
    } else if (c < 0x20) {
      escape("\\x" + QByteArray::number(c, 16));
      escapeHexDigit = true;
    } else if (c == '"' || c == '\\') {
      escape(QByteArray("\\") + static_cast<char>(c));
    } else {
      plain += character;
    }
  }
  escape(QByteArray());
  if (quote || out.startsWith(' ') || out.endsWith(' ')) out = '"' + out + '"';
  return out;
}

// The text Qt reads from a value, items of a list joined by commas.
QString unescapedValue(const QByteArray& raw) {
  QStringList items;
  QString current;
  bool inQuotes = false, quoted = false, cutShort = false;
  qsizetype at = 0, keep = 0;  // blanks at the end, after `keep`, are dropped
  const qsizetype size = raw.size();
  auto skipBlanks = [&] {
    while (at < size && (raw[at] == ' ' || raw[at] == '\t')) ++at;
    keep = current.size();
  };
  auto dropTrailingBlanks = [&] {
    if (quoted) return;
    while (current.size() > keep && (current.back() == QLatin1Char(' ') || current.back() == QLatin1Char('\t')))
      current.chop(1);
  };
  auto number = [&](int base) {
    uint code = 0;
    while (at < size && (base == 16 ? isHexDigit(raw[at]) : raw[at] >= '0' && raw[at] <= '7'))
      code = code * static_cast<uint>(base) + static_cast<uint>(hexValue(raw[at++]));
    current += QChar(static_cast<char16_t>(code));
  };
  skipBlanks();
  while (at < size) {
    const char c = raw[at];
    if (c == '\\') {
      if (++at >= size) {
        cutShort = true;
        break;
      }
      const char e = raw[at++];
      const char* letter = std::find(EscapeLetters, EscapeLetters + EscapeCount, e);
      if (letter != EscapeLetters + EscapeCount) {
        current += QLatin1Char(EscapedCharacters[letter - EscapeLetters]);
      } else if (e == '"' || e == '?' || e == '\'' || e == '\\') {
        current += QLatin1Char(e);
      } else if (e == 'x' && at < size && isHexDigit(raw[at])) {
        number(16);
      } else if (e >= '0' && e <= '7') {
        --at;
        number(8);
      } else if (isLineEnd(e) && at < size && isLineEnd(raw[at]) && raw[at] != e) {
        ++at;  // a line carried on, as one with a single line end is
      }
      keep = current.size();  // what an escape gave is no trailing blank
    } else if (c == '"') {
      ++at;
      quoted = true;
      inQuotes = !inQuotes;
      if (!inQuotes) skipBlanks();
    } else if (c == ',' && !inQuotes) {
      dropTrailingBlanks();
      items.append(current);
      current.clear();
      quoted = false;
      ++at;
      skipBlanks();
    } else {
      qsizetype end = at + 1;
      while (end < size && raw[end] != '\\' && raw[end] != '"' && raw[end] != ',') ++end;
      current += QString::fromUtf8(raw.mid(at, end - at));
      at = end;
    }
  }
  if (!cutShort) dropTrailingBlanks();
  items.append(current);
  // Qt marks typed values with '@': a text holding NULs is @String(...).
  for (QString& item : items) {
    if (item.startsWith(QLatin1String("@@")))
      item.remove(0, 1);
    else if (item == QLatin1String("@Invalid()"))
      item.clear();
    else if (item.startsWith(QLatin1String("@String(")) && item.endsWith(QLatin1Char(')')))
      item = item.mid(8, item.size() - 9);
  }
  return items.join(QLatin1Char(','));
}

QString fullKey(const QString& section, const QString& key) { return section + QLatin1Char('/') + key; }

// The section a key is written under: what comes before its first '/'.
QString sectionOf(const QString& key) {
  const qsizetype slash = key.indexOf(QLatin1Char('/'));
  return slash < 0 ? QString() : key.left(slash);
}

}  // namespace

IniDocument IniDocument::parse(const QByteArray& text) {
  IniDocument document;
  QString section;
  qsizetype at = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  while (const std::optional<Line> line = nextLine(text, at)) {
    if (text[line->start] == '[') {
      const qsizetype close = text.indexOf(']', line->start);
      const qsizetype end = close >= 0 && close < line->end ? close : line->end;
      const QByteArray name = text.mid(line->start + 1, end - line->start - 1).trimmed();
      if (name.compare("general", Qt::CaseInsensitive) == 0)
        section.clear();
      else if (name.compare("%general", Qt::CaseInsensitive) == 0)
        section = QString::fromLatin1(name.mid(1));
      else
        section = unescapedKey(name);
      continue;
    }
    if (line->equals < 0) continue;  // makes no sense: left out
    qsizetype keyEnd = line->equals;
    while (keyEnd > line->start && (text[keyEnd - 1] == ' ' || text[keyEnd - 1] == '\t')) --keyEnd;
    const QString key = unescapedKey(text.mid(line->start, keyEnd - line->start));
    if (key.isEmpty()) continue;
    document.put(section.isEmpty() ? key : fullKey(section, key),
                 text.mid(line->equals + 1, line->end - line->equals - 1));
  }
  return document;
}

QByteArray IniDocument::text() const {
  // Sections in the order they first appear; keys without one under [General].
  QStringList sections;
  for (const Entry& entry : entries_)
    if (!sections.contains(sectionOf(entry.key))) sections.append(sectionOf(entry.key));
  QByteArray out;
  for (const QString& section : sections) {
    QByteArray header = escapedKey(section);
    if (header.isEmpty())
      header = "General";
    else if (header.compare("general", Qt::CaseInsensitive) == 0)
      header = "%General";
    if (!out.isEmpty()) out += '\n';
    out += '[' + header + "]\n";
    for (const Entry& entry : entries_)
      if (sectionOf(entry.key) == section)
        out += escapedKey(section.isEmpty() ? entry.key : entry.key.mid(section.size() + 1)) + '=' + entry.value + '\n';
  }
  return out;
}

QString IniDocument::value(const QString& section, const QString& key) const {
  const QString wanted = fullKey(section, key);
  for (const Entry& entry : entries_)
    if (entry.key == wanted) return unescapedValue(entry.value);
  return QString();
}

void IniDocument::setValue(const QString& section, const QString& key, const QString& value) {
  put(fullKey(section, key), escapedValue(value));
}

bool IniDocument::hasSection(const QString& section) const {
  const QString prefix = section + QLatin1Char('/');
  return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.key.startsWith(prefix); });
}

void IniDocument::removeSection(const QString& section) {
  const QString prefix = section + QLatin1Char('/');
  std::erase_if(entries_, [&](const Entry& e) { return e.key.startsWith(prefix); });
}

void IniDocument::put(const QString& key, const QByteArray& value) {
  for (Entry& entry : entries_)
    if (entry.key == key) {
      entry.value = value;
      return;
    }
  entries_.push_back({key, value});
}

}  // namespace platform
