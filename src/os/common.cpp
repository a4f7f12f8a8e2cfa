// Portable parts of the OS layer: path joining and file: URLs.
#include <filesystem>
#include <system_error>

#include "os/os.hpp"

namespace quorvel::os {

std::string joinPath(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path.append(folder);
  if (path.empty() || path.back() != kPathSeparator) path.push_back(kPathSeparator);
  path.append(name);
  return path;
}

namespace {

bool unreservedOrSlash(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string fileUrl(std::string_view path) {
  std::string absolute;
  if (!path.empty() && path.front() == '/') {
    absolute.assign(path);
  } else {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    // A relative path cannot become a URL without the working folder: "file://name" would name
    // a host.
    if (error || here.empty()) return {};
    absolute = path.empty() ? here.string() : joinPath(here.string(), path);
  }

  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  url.reserve(url.size() + absolute.size() * 3);
  for (const char ch : absolute) {
    const auto c = static_cast<unsigned char>(ch);
    if (unreservedOrSlash(c)) {
      url.push_back(ch);
    } else {
      url.push_back('%');
      url.push_back(kHex[c >> 4]);
      url.push_back(kHex[c & 0xF]);
    }
  }
  return url;
}

}  // namespace quorvel::os
