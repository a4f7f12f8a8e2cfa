// The settings file: an INI file read and written key by key, the way Windows' profile-string
// functions do it, so a file moves between the Windows and the Linux build unchanged.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::settings {

inline constexpr std::string_view kSection = "zhuce";
inline constexpr std::size_t kMaxValueBytes = 10239;

// The value of key in section of INI text, empty when missing. Section and key names compare
// without ASCII case, blanks around keys and values are dropped, the first occurrence wins, and
// a value comes back cut to kMaxValueBytes.
std::string profileGet(std::string_view ini, std::string_view section, std::string_view key);

// INI text with key set to value in section: its own line replaced, or added at the end of the
// section (the section added at the end of the text when missing). Every other line is kept byte
// for byte. An empty value is written as "key=".
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
