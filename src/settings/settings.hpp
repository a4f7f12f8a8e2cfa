// The settings file: an INI file read and written key by key, the way Windows' profile-string
// functions do it, so a file moves between the Windows and the Linux build unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace quorvel::settings {

inline constexpr std::string_view kSection = "zhuce";
inline constexpr std::size_t kMaxValueBytes = 10239;

// The value of key in section of INI text, empty when missing. Section and key names compare
// without ASCII case, blanks around keys and values are dropped, the first occurrence wins, and
// a value comes back cut to kMaxValueBytes. One pair of matching quotes (" or ') around a value
// is dropped.
std::string profileGet(std::string_view ini, std::string_view section, std::string_view key);

// INI text with key set to value in section: its own line replaced, or added after the section's
// last key line (the section added at the end of the text when missing). Every other line is kept
// byte for byte. An empty value is written as "key=". A value ends at its first CR or LF (so it can
// never add a line of its own), and a value that reading would change (blanks at either end,
// surrounding quotes) is written in double quotes, so it reads back exactly. New lines take the
// text's first line ending, CR LF when it has none.
std::string profileSet(std::string_view ini, std::string_view section, std::string_view key,
                       std::string_view value);

// The settings file at one path; every call goes to the file, nothing is kept in memory.
class SettingsFile {
 public:
  explicit SettingsFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  std::string read(std::string_view key) const;
  // Replaces the file atomically; false when it could not be written (the file is unchanged).
  bool write(std::string_view key, std::string_view value) const;

 private:
  std::string path_;
};

}  // namespace quorvel::settings
