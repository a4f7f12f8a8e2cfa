// Name matching: the wildcard rules, and the indexed matcher against a one-name-at-a-time
// reference built from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "search/match.hpp"

namespace quorvel::search {
namespace {

struct WildcardCase {
  std::string pattern;
  std::string name;
  bool matches;
};

TEST(WildcardMatch, Table) {
  const WildcardCase cases[] = {
      {"report.*", "report", true},
      {"report.*", "report.txt", true},
      {"report.*", "REPORT.DOC", true},
      {"report.*", "reports.txt", false},
      {"report.*", "report_1.txt", false},
      {"report.txt.*", "report.txt.bak", true},
      {"report.txt.*", "report.txt", true},
      {"report.txt.*", "report.txtx", false},
      {"report.*", "report.", true},
      {"*ab*", "cab.txt", true},
      {"*b*", "cab.txt", true},
      {"*ab*", "cb.txt", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c",
       "a\xC3\xA9"
       "c",
       true},  // one UTF-8 character
      {"a??c",
       "a\xC3\xA9"
       "c",
       false},
      {"a?c",
       "a\xFF"
       "c",
       true},                      // a stray byte is one character
      {"a?", "a\xE4\xB8", false},  // a cut-off sequence is two stray bytes
      {"a??", "a\xE4\xB8", true},
      {"*", "", true},
      {"**", "x", true},
      {"", "", true},
      {"", "a", false},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbY", false},
      {"*.*", "noext", true},  // the trailing ".*" may stand for nothing
      {"A*", "abc", true},
      {"\xC3\x89", "\xC3\xA9", false},  // only ASCII letters fold
      {"x\ty", "X\tY", true},
      {"*?", "", false},
      {"a.*.*", "a", true},
      {"*a*a*a*a*a*a*a*a*b", std::string(3000, 'a'), false},  // no blow-up
  };
  for (const auto& c : cases)
    EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
}

TEST(WildcardMatch, GbkSteppsOverDoubleByteCharacters) {
  // 0x95 0x5C is one GBK character whose second byte is a backslash; 0xB1 0x41 ends in 'A'.
  EXPECT_FALSE(wildcardMatch("*\\*", "x\x95\\y", text::CodePage::Gbk));
  EXPECT_TRUE(wildcardMatch("x?y", "x\x95\\y", text::CodePage::Gbk));
  EXPECT_FALSE(wildcardMatch("*a*", "\xB1\x41", text::CodePage::Gbk));
  EXPECT_TRUE(wildcardMatch("*a*", "\xB1\x41", text::CodePage::Utf8));  // stray bytes there
}

TEST(PatternFor, BothModes) {
  EXPECT_EQ(patternFor("report", Mode::Exact), "report.*");
  EXPECT_EQ(patternFor("report", Mode::Fuzzy), "*report*");
}

std::vector<std::uint32_t> indexed(const Matcher& m, std::string_view entry) {
  std::vector<std::uint32_t> out;
  m.match(entry, out);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::uint32_t> reference(const std::vector<std::string>& names, Mode mode,
                                     std::string_view entry) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t i = 0; i < names.size(); ++i)
    if (wildcardMatch(patternFor(names[i], mode), entry)) out.push_back(i);
  return out;
}

TEST(Matcher, ExamplesBothModes) {
  const std::vector<std::string> names = {"report", "report.txt", "ab", "b", "ab"};
  const Matcher exact(names, Mode::Exact);
  EXPECT_EQ(indexed(exact, "report"), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(indexed(exact, "REPORT.DOC"), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(indexed(exact, "report.txt"), (std::vector<std::uint32_t>{0, 1}));
  EXPECT_EQ(indexed(exact, "report.txt.bak"), (std::vector<std::uint32_t>{0, 1}));
  EXPECT_TRUE(indexed(exact, "reports.txt").empty());
  EXPECT_TRUE(indexed(exact, "report_1.txt").empty());
  EXPECT_EQ(indexed(exact, "AB.x"), (std::vector<std::uint32_t>{2, 4}));  // duplicates both

  const Matcher fuzzy(names, Mode::Fuzzy);
  EXPECT_EQ(indexed(fuzzy, "cab.txt"), (std::vector<std::uint32_t>{2, 3, 4}));
  EXPECT_EQ(indexed(fuzzy, "my_REPORT.txt.old"), (std::vector<std::uint32_t>{0, 1}));
  EXPECT_TRUE(indexed(fuzzy, "xyz").empty());
}

// Random names and entries over a small alphabet that hits every rule: case, dots, wildcards,
// a valid two-byte character, its bytes alone, and a tab.
TEST(Matcher, AgreesWithReferenceOnRandomNames) {
  const std::string alphabet[] = {"a", "A",        "b",    ".",    ".", "*",
                                  "?", "\xC3\xA9", "\xC3", "\xA9", "\t"};
  std::mt19937 rng(12345);
  auto randomText = [&](int maxLen) {
    std::string s;
    const int len = std::uniform_int_distribution<int>(0, maxLen)(rng);
    for (int i = 0; i < len; ++i)
      s += alphabet[std::uniform_int_distribution<std::size_t>(0, std::size(alphabet) - 1)(rng)];
    return s;
  };
  for (int round = 0; round < 60; ++round) {
    std::vector<std::string> names;
    const int count = std::uniform_int_distribution<int>(1, 40)(rng);
    for (int i = 0; i < count; ++i) names.push_back(randomText(5));
    for (Mode mode : {Mode::Exact, Mode::Fuzzy}) {
      const Matcher m(names, mode);
      for (int e = 0; e < 300; ++e) {
        const std::string entry = randomText(9);
        ASSERT_EQ(indexed(m, entry), reference(names, mode, entry))
            << "entry '" << entry << "' mode " << static_cast<int>(mode);
      }
    }
  }
}

TEST(Matcher, ManyNamesAndHugeNames) {
  std::vector<std::string> names;
  for (int i = 0; i < 10000; ++i) names.push_back("IMG_" + std::to_string(100000 + i * 7));
  names.push_back(std::string(100 * 1024, 'q'));  // a 100 KB line
  names.push_back(std::string(100 * 1024, 'q') + "*");
  const Matcher exact(names, Mode::Exact);
  const Matcher fuzzy(names, Mode::Fuzzy);
  EXPECT_EQ(indexed(exact, "img_100007.JPG"), (std::vector<std::uint32_t>{1}));
  EXPECT_TRUE(indexed(exact, "img_100008.JPG").empty());
  EXPECT_EQ(indexed(fuzzy, "x_IMG_100014_y"), (std::vector<std::uint32_t>{2}));
  EXPECT_TRUE(indexed(fuzzy, std::string(255, 'q')).empty());
  const std::string longEntry = std::string(100 * 1024, 'Q') + ".txt";
  EXPECT_EQ(indexed(exact, longEntry), (std::vector<std::uint32_t>{10000, 10001}));
  EXPECT_EQ(indexed(fuzzy, longEntry), (std::vector<std::uint32_t>{10000, 10001}));
}

}  // namespace
}  // namespace quorvel::search
