// Byte-string helpers for the program's code page. Every text the program handles is a byte
// string in that code page (UTF-8 on Linux, where file names are bytes; GBK on Windows). Scans
// step over multi-byte characters whole, so a match or a separator never starts inside one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::text {

enum class CodePage { Utf8, Gbk };

#ifdef _WIN32
inline constexpr CodePage kNative = CodePage::Gbk;
#else
inline constexpr CodePage kNative = CodePage::Utf8;
#endif

// Byte length of the character that starts at s[i]: 1 for ASCII and for a byte that starts no
// valid character, so every scan makes progress on malformed input; 0 at or past the end.
std::size_t charLength(std::string_view s, std::size_t i, CodePage cp = kNative);

// Splits at CR LF: every delimiter ends a piece (so empty pieces count), a delimiter at the very
// end adds no empty last piece, and an empty text gives no pieces.
std::vector<std::string> splitCrLf(std::string_view s, CodePage cp = kNative);

// True when nothing is left once ASCII spaces and full-width spaces are removed.
bool isBlankLine(std::string_view line, CodePage cp = kNative);

// 1-based byte position of the first occurrence of needle in hay, -1 when there is none. With
// ignoreAsciiCase only A-Z and a-z fold. An empty needle is found at 1 in a non-empty hay.
long find(std::string_view hay, std::string_view needle, CodePage cp = kNative,
          bool ignoreAsciiCase = false);

// 1-based byte position of the last occurrence, -1 when there is none. An empty needle is found
// at size + 1 in a non-empty hay.
long findFromEnd(std::string_view hay, std::string_view needle, CodePage cp = kNative);

// The part of a path after its last separator (the whole path when it has none).
std::string_view fileNameOf(std::string_view path, char separator, CodePage cp = kNative);

// Same length and the same bytes, except that single-byte A-Z and a-z match either case (the
// second byte of a GBK character never folds).
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b, CodePage cp = kNative);

inline constexpr char foldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace quorvel::text
