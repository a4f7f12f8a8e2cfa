#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "text/text.hpp"

namespace {

using quorvel::text::charLength;
using quorvel::text::CodePage;
using quorvel::text::equalsIgnoreAsciiCase;
using quorvel::text::fileNameOf;
using quorvel::text::find;
using quorvel::text::findFromEnd;
using quorvel::text::isBlankLine;
using quorvel::text::splitCrLf;

constexpr CodePage U = CodePage::Utf8;
constexpr CodePage G = CodePage::Gbk;

std::string cpName(CodePage cp) {
  return cp == U ? "utf8" : "gbk";
}

TEST(CharLength, BothCodePages) {
  struct Case {
    std::string s;
    CodePage cp;
    std::size_t want;
  };
  const std::vector<Case> cases = {
      {"a", U, 1},
      {"\xC3\xA9", U, 2},
      {"\xE4\xB8\xAD", U, 3},
      {"\xF0\x9F\x98\x80", U, 4},
      {"\xC0\x80", U, 1},          // overlong
      {"\xE0\x80\x80", U, 1},      // overlong
      {"\xED\xA0\x80", U, 1},      // surrogate
      {"\xF4\x90\x80\x80", U, 1},  // past U+10FFFF
      {"\xE4\xB8", U, 1},          // cut short
      {"\xE4\x41\x42", U, 1},
      {"\x80", U, 1},
      {"\xFF\x80", U, 1},
      {"a", G, 1},
      {"\x95\x5C", G, 2},
      {"\x80\x41", G, 2},
      {std::string("\xFF\0", 2), G, 2},
      {"\x81", G, 1},  // nothing follows
      {"\\", G, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(charLength(c.s, 0, c.cp), c.want)
        << cpName(c.cp) << " " << testing::PrintToString(c.s);
  }
  EXPECT_EQ(charLength("ab", 2, U), 0u);
  EXPECT_EQ(charLength("ab", 7, G), 0u);
  EXPECT_EQ(charLength("a\x95\x5C", 1, G), 2u);
  EXPECT_EQ(charLength("a\x95\x5C", 2, G), 1u);  // asked directly, a lone byte is one character
}

TEST(SplitCrLf, Pieces) {
  using V = std::vector<std::string>;
  struct Case {
    std::string s;
    CodePage cp;
    V want;
  };
  const std::vector<Case> cases = {
      {"", U, {}},
      {"\r\n", U, {""}},
      {"\r\n\r\n", U, {"", ""}},
      {"a", U, {"a"}},
      {"a\r\n", U, {"a"}},
      {"\r\na", U, {"", "a"}},
      {"a\r\n\r\nb", U, {"a", "", "b"}},
      {"a\r\n\r\n   \r\n b \r\nb", U, {"a", "", "   ", " b ", "b"}},
      {"a\rb\nc\n\r", U, {"a\rb\nc\n\r"}},
      {"a\r\r\nb", U, {"a\r", "b"}},
      {"\xE4\xB8\xAD\r\n\xE6\x96\x87", U, {"\xE4\xB8\xAD", "\xE6\x96\x87"}},
      // A lone continuation byte is a character of its own in UTF-8 ...
      {"\x95\r\nx", U, {"\x95", "x"}},
      // ... but in GBK it takes the CR as its second byte, so no delimiter starts there.
      {"\x95\r\nx", G, {"\x95\r\nx"}},
      {"\x95\x5C\r\na", G, {"\x95\x5C", "a"}},
      {"\x81\x81\r\n", G, {"\x81\x81"}},
      {"\x81\x81\x81\r\n", G, {"\x81\x81\x81\r\n"}},
      {"\xC4\xE3\xBA\xC3\r\n\r\n\xA1\xA1\r\n", G, {"\xC4\xE3\xBA\xC3", "", "\xA1\xA1"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(splitCrLf(c.s, c.cp), c.want) << cpName(c.cp) << " " << testing::PrintToString(c.s);
  }
}

TEST(SplitCrLf, LongGbkRunKeepsParity) {
  // 5,000 two-byte characters then a stray lead byte: the CR after it is its second byte.
  std::string even;
  for (int i = 0; i < 5000; ++i) even += "\xB0\xA1";
  EXPECT_EQ(splitCrLf(even + "\r\nx", G), (std::vector<std::string>{even, "x"}));
  EXPECT_EQ(splitCrLf(even + "\x81\r\nx", G), (std::vector<std::string>{even + "\x81\r\nx"}));
}

TEST(IsBlankLine, Table) {
  struct Case {
    std::string s;
    CodePage cp;
    bool want;
  };
  const std::vector<Case> cases = {
      {"", U, true},
      {"   ", U, true},
      {"\xE3\x80\x80 \xE3\x80\x80", U, true},
      {"\t", U, false},
      {" a ", U, false},
      {"\xA1\xA1", U, false},
      {"\xE3\x80", U, false},
      {"", G, true},
      {" \xA1\xA1 \xA1\xA1", G, true},
      {"\t", G, false},
      {" \xA1", G, false},
      {"\xE3\x80\x80", G, false},
      // B0 A1 and A1 20 are the characters here; the A1 A1 bytes straddle them.
      {"\xB0\xA1\xA1\x20", G, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isBlankLine(c.s, c.cp), c.want) << cpName(c.cp) << " " << testing::PrintToString(c.s);
  }
}

struct FindCase {
  std::string hay;
  std::string needle;
  CodePage cp;
  bool fold;
  long want;
};

TEST(Find, Table) {
  const std::vector<FindCase> cases = {
      {"abc", "", U, false, 1},
      {"", "", U, false, -1},
      {"", "a", U, false, -1},
      {"abcabc", "c", U, false, 3},
      {"abcabc", "bc", U, false, 2},
      {"abc", "abcd", U, false, -1},
      {"aaab", "aab", U, false, 2},
      {"README.TXT", "readme", U, false, -1},
      {"README.TXT", "readme", U, true, 1},
      {"readme.txt", "E.T", U, true, 6},
      {"a.b", ".B", U, true, 2},
      {"a-b", "-", G, true, 2},
      // Full-width letters never fold.
      {"\xEF\xBC\xA1\xEF\xBC\xA2", "\xEF\xBD\x81", U, true, -1},
      // UTF-8: never inside a character, but a stray continuation byte is its own character.
      {"\xE4\xB8\xAD\xE6\x96\x87", "\xB8\xAD", U, false, -1},
      {"\xB8\xAD", "\xB8\xAD", U, false, 1},
      {"\xE4\xB8\xAD\xB8\xAD", "\xB8\xAD", U, false, 4},
      {"\xE4\x41\xB8\xAD", "\xB8\xAD", U, false, 3},
      {"\xF0\x9F\x98\x80", "\x80", U, false, -1},
      {"\xE6\x96\x87\xE4\xB8\xAD", "\xE4\xB8\xAD", U, false, 4},
      // GBK: 95 5C is one character, not a backslash.
      {"\x95\x5Cx", "\\", G, false, -1},
      {"a\\\x95\x5C", "\\", G, false, 2},
      {"\x95\x5C\\", "\\", G, false, 3},
      {"\x95\x5C\\", "\\", U, false, 2},
      {"\x81\x81\x81\x81", "\x81\x81", G, false, 1},
      {"\x41\x81\x81\x81", "\x81\x81", G, false, 2},
      {"\x81\x41\x81\x81", "\x41\x81", G, false, -1},
      // The second byte of a GBK character is not a letter and does not fold.
      {"\x81\x61", "\x81\x41", G, true, -1},
      {"\x81\x61", "\x81\x41", U, true, 1},
      {"X\x81\x41y", "x\x81\x41Y", G, true, 1},
      {"\x81\x41\x61", "A", G, true, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(find(c.hay, c.needle, c.cp, c.fold), c.want)
        << cpName(c.cp) << (c.fold ? " fold " : " ") << testing::PrintToString(c.hay) << " / "
        << testing::PrintToString(c.needle);
  }
}

TEST(FindFromEnd, Table) {
  const std::vector<FindCase> cases = {
      {"a/b/c", "/", U, false, 4},
      {"abc", "/", U, false, -1},
      {"abcabc", "bc", U, false, 5},
      {"aaaa", "aa", U, false, 3},
      {"", "a", U, false, -1},
      {"abc", "", U, false, 4},
      {"a\\\x95\x5C", "\\", G, false, 2},
      {"\x95\x5C", "\\", G, false, -1},
      {"a\\\x95\x5C", "\\", U, false, 4},
      {"\x81\x81\x81", "\x81\x81", G, false, 1},
      {"\x95\x5C\x95\x5C", "\x5C\x95", G, false, -1},
      {"\xE4\xB8\xAD\xE4\xB8\xAD", "\xB8\xAD", U, false, -1},
      {"\xE4\xB8\xAD\xE4\xB8\xAD", "\xE4\xB8\xAD", U, false, 4},
      {"\xB8\xAD\xE4\xB8\xAD", "\xB8\xAD", U, false, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(findFromEnd(c.hay, c.needle, c.cp), c.want)
        << cpName(c.cp) << " " << testing::PrintToString(c.hay) << " / "
        << testing::PrintToString(c.needle);
  }
}

TEST(FileNameOf, Table) {
  struct Case {
    std::string path;
    char sep;
    CodePage cp;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"/a/b.txt", '/', U, "b.txt"},
      {"b.txt", '/', U, "b.txt"},
      {"/a/", '/', U, ""},
      {"", '/', U, ""},
      {"/home/\xE4\xB8\xAD\xE6\x96\x87.txt", '/', U, "\xE4\xB8\xAD\xE6\x96\x87.txt"},
      {"C:\\dir\\\x95\x5C.txt", '\\', G, "\x95\x5C.txt"},
      {"C:\\\x95\x5C", '\\', G, "\x95\x5C"},
      {"\x95\x5C\x95\x5C", '\\', G, "\x95\x5C\x95\x5C"},
      {"C:\\\x95\x5C", '\\', U, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fileNameOf(c.path, c.sep, c.cp), c.want)
        << cpName(c.cp) << " " << testing::PrintToString(c.path);
  }
  // A long run of double-byte characters: the parity of the run decides.
  std::string wide;
  for (int i = 0; i < 1000; ++i) wide += "\xB0\xA1";
  EXPECT_EQ(fileNameOf("C:\\" + wide + "\\x", '\\', G), "x");
  EXPECT_EQ(fileNameOf("C:\\" + wide + "\xB0\\x", '\\', G), wide + "\xB0\\x");
}

TEST(EqualsIgnoreAsciiCase, Table) {
  EXPECT_TRUE(equalsIgnoreAsciiCase("ZhuCe", "zhuce", U));
  EXPECT_FALSE(equalsIgnoreAsciiCase("zhuce", "zhuc", U));
  EXPECT_FALSE(equalsIgnoreAsciiCase("\xEF\xBC\xA1", "\xEF\xBD\x81", U));
  EXPECT_TRUE(equalsIgnoreAsciiCase("\x81\x41x", "\x81\x41X", G));
  EXPECT_FALSE(equalsIgnoreAsciiCase("\x81\x41", "\x81\x61", G));
  EXPECT_TRUE(equalsIgnoreAsciiCase("\x81\x41", "\x81\x61", U));
}

// ---- Against a plain reference ---------------------------------------------------------------

// Character starts and the bytes that belong to a multi-byte character, by walking from the start.
struct Parse {
  std::vector<bool> start;
  std::vector<bool> wide;
};
Parse parse(const std::string& s, CodePage cp) {
  Parse p{std::vector<bool>(s.size(), false), std::vector<bool>(s.size(), false)};
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = charLength(s, i, cp);
    p.start[i] = true;
    for (std::size_t k = 0; k < n && n > 1; ++k) p.wide[i + k] = true;
    i += n;
  }
  return p;
}

bool matchesAt(const std::string& hay, const Parse& p, const std::string& needle, std::size_t q,
               bool fold) {
  if (!p.start[q] || q + needle.size() > hay.size()) return false;
  for (std::size_t j = 0; j < needle.size(); ++j) {
    const bool folds = fold && !p.wide[q + j];
    const char a = folds ? quorvel::text::foldAscii(hay[q + j]) : hay[q + j];
    const char b = folds ? quorvel::text::foldAscii(needle[j]) : needle[j];
    if (a != b) return false;
  }
  return true;
}

long referenceFind(const std::string& hay, const std::string& needle, CodePage cp, bool fold) {
  if (needle.empty()) return hay.empty() ? -1 : 1;
  const Parse p = parse(hay, cp);
  for (std::size_t q = 0; q < hay.size(); ++q) {
    if (matchesAt(hay, p, needle, q, fold)) return static_cast<long>(q) + 1;
  }
  return -1;
}

long referenceFindFromEnd(const std::string& hay, const std::string& needle, CodePage cp) {
  if (needle.empty()) return hay.empty() ? -1 : static_cast<long>(hay.size()) + 1;
  const Parse p = parse(hay, cp);
  for (std::size_t q = hay.size(); q-- > 0;) {
    if (matchesAt(hay, p, needle, q, false)) return static_cast<long>(q) + 1;
  }
  return -1;
}

TEST(FindReference, RandomTextsInBothCodePages) {
  const std::string alphabet = "aAbB\\\r\n \x81\x95\xA1\xE3\x80\xB8\xE4\xAD\xBF";
  std::mt19937 rng(12345);
  auto pick = [&](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += alphabet[rng() % alphabet.size()];
    return s;
  };
  for (CodePage cp : {U, G}) {
    for (int iter = 0; iter < 4000; ++iter) {
      // Mostly single names; now and then a text long enough for the searcher proper.
      const std::string hay = pick(iter % 8 == 0 ? 300 + rng() % 200 : rng() % 40);
      std::string needle;
      if (iter % 2 == 0 && !hay.empty()) {
        const std::size_t from = rng() % hay.size();
        needle = hay.substr(from, 1 + rng() % 4);
        if (iter % 4 == 0) {
          for (char& ch : needle) {
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
          }
        }
      } else {
        needle = pick(1 + rng() % 3);
      }
      for (bool fold : {false, true}) {
        ASSERT_EQ(find(hay, needle, cp, fold), referenceFind(hay, needle, cp, fold))
            << cpName(cp) << (fold ? " fold " : " ") << testing::PrintToString(hay) << " / "
            << testing::PrintToString(needle);
      }
      ASSERT_EQ(findFromEnd(hay, needle, cp), referenceFindFromEnd(hay, needle, cp))
          << cpName(cp) << " " << testing::PrintToString(hay) << " / "
          << testing::PrintToString(needle);
    }
  }
}

// Periodic texts make the fast searches do a lot of work per byte, so they hand over to the
// linear search part way through: the answers must not change at the handover.
TEST(FindReference, PeriodicTextsThatExhaustTheFastSearch) {
  const std::string run(20000, 'a');
  const std::string needle = std::string(50, 'a') + "ba";
  EXPECT_EQ(find(run, needle, U, true), -1);
  EXPECT_EQ(find(run + needle, needle, U, true), 20001);
  EXPECT_EQ(find(run + "A" + needle, std::string(50, 'A') + "BA", G, true), 20002);
  EXPECT_EQ(findFromEnd(run, std::string(100, 'a'), U), 19901);
  EXPECT_EQ(findFromEnd(run + "b", std::string(100, 'a'), G), 19901);

  // GBK: every odd candidate sits inside a character.
  const std::string wide(30000, '\x81');
  const std::string lead = "x" + wide.substr(0, 99);
  EXPECT_EQ(find("x" + wide, wide.substr(0, 100) + "y", G, false), -1);
  EXPECT_EQ(find("x" + wide + "y", wide.substr(0, 100) + "y", G, false),
            referenceFind("x" + wide + "y", wide.substr(0, 100) + "y", G, false));
  EXPECT_EQ(findFromEnd(wide + "\x81", wide.substr(0, 101), G),
            referenceFindFromEnd(wide + "\x81", wide.substr(0, 101), G));
  EXPECT_EQ(find(lead + wide, lead, G, false), 1);
}

}  // namespace
