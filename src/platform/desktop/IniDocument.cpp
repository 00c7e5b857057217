#include "platform/desktop/IniDocument.h"

#include <QStringDecoder>
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

// Read as Qt 6 reads them: the bytes as UTF-8, then the escapes.
QString unescapedKey(const QByteArray& text) {
  const QString decoded = QString::fromUtf8(text);
  QString key;
  for (qsizetype at = 0; at < decoded.size();) {
    const QChar c = decoded[at];
    if (c == QLatin1Char('\\')) {
      key += QLatin1Char('/');
      ++at;
      continue;
    }
    if (c == QLatin1Char('%') && at + 1 < decoded.size()) {
      const bool wide = decoded[at + 1] == QLatin1Char('U');
      const qsizetype from = at + (wide ? 2 : 1), digits = wide ? 4 : 2;
      bool ok = false;
      const ushort code =
          from + digits <= decoded.size() ? QStringView(decoded).sliced(from, digits).toUShort(&ok, 16) : 0;
      if (ok) {
        key += QChar(code);
        at = from + digits;
        continue;
      }
    }
    key += c;
    ++at;
  }
  return key;
}

// A text value: a leading '@' doubled (a single one marks Qt's typed
// values), C escapes for control characters, quotes, backslashes and NULs,
// and for what UTF-8 would not bring back: half a surrogate pair, and a byte
// order mark (dropped where it starts the text read); UTF-8 for the rest;
// quoted when it holds ';', ',' or '=' or begins or ends with a blank.
QByteArray escapedValue(const QString& text) {
  const QString value = text.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + text : text;
  QByteArray out;
  QString plain;  // characters written as they are, in UTF-8, at the next escape
  bool quote = false, escapeHexDigit = false;
  auto escape = [&](const QByteArray& escaped) {
    out += plain.toUtf8() + escaped;
    plain.clear();
  };
  for (qsizetype at = 0; at < value.size(); ++at) {
    const QChar character = value[at];
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
    } else if (character.isHighSurrogate() && at + 1 < value.size() && value[at + 1].isLowSurrogate()) {
      plain += character;
      plain += value[++at];
    } else if (character.isSurrogate() || c == 0xFEFF) {
      escape("\\x" + QByteArray::number(c, 16));
      escapeHexDigit = true;
    } else {
      plain += character;
    }
  }
  escape(QByteArray());
  if (quote || out.startsWith(' ') || out.endsWith(' ')) out = '"' + out + '"';
  return out;
}

// The text Qt reads from a value, items of a list joined by commas. Its
// text runs go to one UTF-8 decoder, as in Qt: a character may go on after
// an escape, and one cut short at the end is dropped.
QString unescapedValue(const QByteArray& raw) {
  QStringDecoder fromUtf8(QStringDecoder::Utf8);
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
      current += fromUtf8(raw.mid(at, end - at));
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

// What comes before a key's own name: its section and a '/', or nothing for
// a key under [General].
QString sectionPrefixOf(const QString& key) { return key.left(key.indexOf(QLatin1Char('/')) + 1); }

}  // namespace

IniDocument IniDocument::parse(const QByteArray& text) {
  IniDocument document;
  QString prefix;  // of the keys in the current section; "/" for a section named ""
  int keyLines = 0;
  // Qt looks for sections past a byte order mark at the start, but reads
  // the keys before the first one from the start: the mark, and blanks after
  // it, go with the first line's key, whose UTF-8 decoding drops the mark.
  qsizetype at = 0;
  if (text.startsWith("\xEF\xBB\xBF")) {
    qsizetype first = 3;
    while (first < text.size() && isBlank(text[first])) ++first;
    if (first < text.size() && text[first] == '[') at = 3;
  }
  while (const std::optional<Line> line = nextLine(text, at)) {
    if (text[line->start] == '[') {
      const qsizetype close = text.indexOf(']', line->start);
      const qsizetype end = close >= 0 && close < line->end ? close : line->end;
      const QByteArray name = text.mid(line->start + 1, end - line->start - 1).trimmed();
      if (name.compare("general", Qt::CaseInsensitive) == 0)
        prefix.clear();
      else if (name.compare("%general", Qt::CaseInsensitive) == 0)
        prefix = QString::fromLatin1(name.mid(1)) + QLatin1Char('/');
      else
        prefix = unescapedKey(name) + QLatin1Char('/');
      continue;
    }
    if (line->equals < 0) continue;  // makes no sense: left out
    if (++keyLines > MostKeys) {
      document.cutShort_ = true;
      break;
    }
    // Blanks around a key go, vertical tabs and form feeds too, as in Qt.
    const QString key = unescapedKey(text.mid(line->start, line->equals - line->start).trimmed());
    // No one can ask for a key ending in '/', and its name written back
    // would take the '=' after it.
    if (key.isEmpty() || key.endsWith(QLatin1Char('/'))) continue;
    document.put(prefix + key, unescapedValue(text.mid(line->equals + 1, line->end - line->equals - 1)));
  }
  return document;
}

QByteArray IniDocument::text() const {
  // Sections in the order they first appear; keys without one under [General].
  QStringList prefixes;
  QHash<QString, std::vector<std::size_t>> entriesOf;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const QString prefix = sectionPrefixOf(entries_[i].key);
    auto& ofSection = entriesOf[prefix];
    if (ofSection.empty()) prefixes.append(prefix);
    ofSection.push_back(i);
  }
  QByteArray out;
  for (const QString& prefix : prefixes) {
    QByteArray header = escapedKey(prefix.chopped(prefix.isEmpty() ? 0 : 1));
    if (prefix.isEmpty())
      header = "General";
    else if (header.compare("general", Qt::CaseInsensitive) == 0)
      header = '%' + header;  // Qt's "[%General]" would read back as "General"
    if (!out.isEmpty()) out += '\n';
    out += '[' + header + "]\n";
    for (const std::size_t i : entriesOf[prefix])
      out += escapedKey(entries_[i].key.mid(prefix.size())) + '=' + escapedValue(entries_[i].value) + '\n';
  }
  return out;
}

QStringList IniDocument::keys() const {
  QStringList keys;
  for (const Entry& entry : entries_) keys.append(entry.key);
  return keys;
}

QString IniDocument::value(const QString& key) const {
  const auto found = index_.constFind(key);
  return found == index_.cend() ? QString() : entries_[*found].value;
}

QString IniDocument::value(const QString& section, const QString& key) const { return value(fullKey(section, key)); }

void IniDocument::setValue(const QString& section, const QString& key, const QString& value) {
  put(fullKey(section, key), value);
}

bool IniDocument::hasSection(const QString& section) const {
  const QString prefix = section + QLatin1Char('/');
  return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.key.startsWith(prefix); });
}

void IniDocument::removeSection(const QString& section) {
  const QString prefix = section + QLatin1Char('/');
  std::erase_if(entries_, [&](const Entry& e) { return e.key.startsWith(prefix); });
  index_.clear();
  for (std::size_t i = 0; i < entries_.size(); ++i) index_.insert(entries_[i].key, i);
}

void IniDocument::put(const QString& key, const QString& value) {
  if (const auto found = index_.constFind(key); found != index_.cend()) {
    entries_[*found].value = value;
    return;
  }
  index_.insert(key, entries_.size());
  entries_.push_back({key, value});
}

}  // namespace platform
