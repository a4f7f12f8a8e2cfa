#include "settings/settings.hpp"

#include <optional>
#include <vector>

#include "os/os.hpp"
#include "text/text.hpp"

namespace quorvel::settings {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, std::string_view b) {
  return text::equalsIgnoreAsciiCase(a, b, text::kNative);
}

// One line of the file: content is without its line ending, end is past it.
struct Line {
  std::size_t begin = 0;
  std::size_t contentEnd = 0;
  std::size_t end = 0;
};

enum class Kind { Other, Section, Key };

struct Parsed {
  Kind kind = Kind::Other;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // trimmed, quotes still on
};

Parsed parseLine(std::string_view content) {
  const std::string_view t = trim(content);
  if (t.empty() || t.front() == ';') return {};
  if (t.front() == '[') {
    const std::size_t close = t.find(']');
    if (close == std::string_view::npos) return {};
    return {Kind::Section, trim(t.substr(1, close - 1)), {}};
  }
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return {};
  return {Kind::Key, trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

// Walks the lines of an INI text. A UTF-8 byte-order mark is stepped over so that it does not
// hide the first line; the bytes themselves stay where they are.
class Lines {
 public:
  explicit Lines(std::string_view ini) : ini_(ini) {
    if (ini_.substr(0, kBom.size()) == kBom) pos_ = kBom.size();
  }
  std::size_t contentStart() const { return ini_.substr(0, kBom.size()) == kBom ? kBom.size() : 0; }

  bool next(Line& line) {
    if (pos_ >= ini_.size()) return false;
    line.begin = pos_;
    const std::size_t lf = ini_.find('\n', pos_);
    line.end = lf == std::string_view::npos ? ini_.size() : lf + 1;
    line.contentEnd = lf == std::string_view::npos ? ini_.size() : lf;
    if (line.contentEnd > line.begin && ini_[line.contentEnd - 1] == '\r') --line.contentEnd;
    pos_ = line.end;
    return true;
  }
  std::string_view content(const Line& line) const {
    return ini_.substr(line.begin, line.contentEnd - line.begin);
  }

 private:
  std::string_view ini_;
  std::size_t pos_ = 0;
};

// Where a key lives: its own line, or, when it is missing, the line after which it goes.
struct Location {
  bool sectionFound = false;
  bool keyFound = false;
  Line keyLine;   // when keyFound
  Line lastLine;  // the section's header or its last key line, when sectionFound
  std::string_view value;
};

Location locate(std::string_view ini, std::string_view section, std::string_view key) {
  Location loc;
  Lines lines(ini);
  Line line;
  bool inSection = false;
  while (lines.next(line)) {
    const Parsed p = parseLine(lines.content(line));
    if (p.kind == Kind::Section) {
      // Only the first section of that name counts, for reading and for writing alike.
      if (loc.sectionFound) break;
      inSection = sameName(p.name, section);
      if (inSection) {
        loc.sectionFound = true;
        loc.lastLine = line;
      }
    } else if (inSection && p.kind == Kind::Key) {
      if (sameName(p.name, key)) {
        loc.keyFound = true;
        loc.keyLine = line;
        loc.value = p.value;
        return loc;
      }
      loc.lastLine = line;
    }
  }
  return loc;
}

std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// The text after "key=": a value that reading would change (blanks at either end, one pair of
// surrounding quotes) goes in quotes, so it reads back exactly as written.
std::string encodeValue(std::string_view value) {
  const bool quote = !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                                        unquote(value).size() != value.size());
  return quote ? "\"" + std::string(value) + "\"" : std::string(value);
}

// A line break in a value or a name would start a line of its own (a key or a section nobody
// asked for): everything from the first one on is dropped.
std::string_view firstLine(std::string_view s) {
  return s.substr(0, s.find_first_of("\r\n"));
}

std::string_view lineEndingOf(std::string_view ini) {
  const std::size_t lf = ini.find('\n');
  if (lf == std::string_view::npos) return "\r\n";
  return (lf > 0 && ini[lf - 1] == '\r') ? "\r\n" : "\n";
}

}  // namespace

std::string profileGet(std::string_view ini, std::string_view section, std::string_view key) {
  const Location loc = locate(ini, section, key);
  if (!loc.keyFound) return {};
  std::string_view v = unquote(loc.value);
  if (v.size() > kMaxValueBytes) v = v.substr(0, kMaxValueBytes);
  return std::string(v);
}

std::string profileSet(std::string_view ini, std::string_view section, std::string_view key,
                       std::string_view value) {
  section = trim(firstLine(section));
  key = trim(firstLine(key));
  const std::string keyLine = std::string(key) + "=" + encodeValue(firstLine(value));
  const std::string_view eol = lineEndingOf(ini);
  const Location loc = locate(ini, section, key);

  std::string out;
  out.reserve(ini.size() + keyLine.size() + section.size() + 8);
  if (loc.keyFound) {
    out.append(ini.substr(0, loc.keyLine.begin));
    out.append(keyLine);
    out.append(ini.substr(loc.keyLine.contentEnd));
    return out;
  }
  if (loc.sectionFound) {
    const Line& after = loc.lastLine;
    out.append(ini.substr(0, after.end));
    if (ini[after.end - 1] != '\n') out.append(eol);  // the last line had no line ending
    out.append(keyLine).append(eol);
    out.append(ini.substr(after.end));
    return out;
  }
  out.append(ini);
  const std::size_t start = Lines(ini).contentStart();
  if (ini.size() > start && ini.back() != '\n') out.append(eol);
  out.append("[").append(section).append("]").append(eol);
  out.append(keyLine).append(eol);
  return out;
}

std::string SettingsFile::read(std::string_view key) const {
  const std::optional<std::string> bytes = os::readFile(path_);
  return bytes ? profileGet(*bytes, kSection, key) : std::string();
}

bool SettingsFile::write(std::string_view key, std::string_view value) const {
  std::string old;
  if (const std::optional<std::string> bytes = os::readFile(path_)) {
    old = *bytes;
  } else if (os::stampOf(path_)) {
    // It is there but cannot be read: writing now would throw away every other line.
    return false;
  }
  return os::writeFileAtomic(path_, profileSet(old, kSection, key, value));
}

}  // namespace quorvel::settings
