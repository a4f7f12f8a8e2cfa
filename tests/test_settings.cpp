#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "settings/settings.hpp"

namespace {

namespace fs = std::filesystem;
using quorvel::settings::kMaxValueBytes;
using quorvel::settings::profileGet;
using quorvel::settings::profileSet;
using quorvel::settings::SettingsFile;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kPathKey = "\xE6\x90\x9C\xE7\xB4\xA2\xE8\xB7\xAF\xE5\xBE\x84";  // 搜索路径
const std::string kCopyKey = "\xE5\xA4\x8D\xE5\x88\xB6";                          // 复制
const std::string kTrue = "\xE7\x9C\x9F";                                         // 真

// A literal with the NUL bytes inside it.
template <std::size_t N>
std::string lit(const char (&s)[N]) {
  return std::string(s, N - 1);
}

TEST(ProfileGet, Table) {
  struct Case {
    std::string ini;
    std::string key;
    std::string want;
  };
  const std::string longValue(20000, 'x');
  const std::vector<Case> cases = {
      {"", "a", ""},
      {"[zhuce]\r\na=1\r\n", "a", "1"},
      {"[ZHUCE]\nA=1", "a", "1"},
      {"[zhuce]\na=1\r\n", "A", "1"},
      {"  [ zhuce ]  \n \t a \t=  1 2 \t\n", "a", "1 2"},
      {"[zhuce]\na=\n", "a", ""},
      {"[other]\na=1\n", "a", ""},
      {"a=1\n[zhuce]\nb=2\n", "a", ""},
      {"[zhuce]\na=1\na=2\n", "a", "1"},
      {"[zhuce]\na=1\n[zhuce]\nb=2\n", "b", ""},  // only the first section of a name counts
      {"[zhuce]\na=1\n[zhuce]\na=2\n", "a", "1"},
      {"[zhuce]\n;a=1\na=2", "a", "2"},
      {"[zhuce]\na=1=2\n", "a", "1=2"},
      {"[zhuce]\na\na=2\n", "a", "2"},  // a line without "=" is no key
      {"[zhuce\na=1\n", "a", ""},       // no section without its bracket
      {"[zhuce]\na=\"  x  \"\n", "a", "  x  "},
      {"[zhuce]\na='x'\n", "a", "x"},
      {"[zhuce]\na=\"x'\n", "a", "\"x'"},
      {"[zhuce]\na=\"\n", "a", "\""},
      {"[zhuce]\na=\"\"\"\"\n", "a", "\"\""},
      {"[zhuce]\na= \"x\" y\n", "a", "\"x\" y"},
      {kBom + "[zhuce]\r\na=1\r\n", "a", "1"},
      {"[zhuce]\r\n" + kPathKey + "=/home/\xE7\x94\xA8\r\n", kPathKey, "/home/\xE7\x94\xA8"},
      {lit("[zhuce]\na=x\0y\n"), "a", lit("x\0y")},
      {lit("\xFF\xFE\0\x01garbage]=[\n[zhuce]\na=1\n"), "a", "1"},
      {"[zhuce]\na=" + longValue + "\n", "a", longValue.substr(0, kMaxValueBytes)},
      {"[zhuce]\na=\"" + longValue + "\"\n", "a", longValue.substr(0, kMaxValueBytes)},
      {"[zhuce]\n" + std::string(10 << 20, '[') + "\na=1\n", "a", "1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(profileGet(c.ini, "zhuce", c.key), c.want)
        << testing::PrintToString(c.ini.substr(0, 80)) << " key " << c.key;
  }
}

TEST(ProfileSet, WholeResultingBytes) {
  struct Case {
    std::string ini;
    std::string key;
    std::string value;
    std::string want;
  };
  const std::string big(10 << 20, '\x01');
  const std::vector<Case> cases = {
      {"", "a", "1", "[zhuce]\r\na=1\r\n"},
      {"", "a", "", "[zhuce]\r\na=\r\n"},
      {"[zhuce]\na=1\nb=2\n", "a", "9", "[zhuce]\na=9\nb=2\n"},
      {"[zhuce]\na=1\nb=2\n", "B", "", "[zhuce]\na=1\nB=\n"},
      {"[zhuce]\r\na=1\r\n", "b", "2", "[zhuce]\r\na=1\r\nb=2\r\n"},
      // The last line has no line ending: the new line must not be glued onto it.
      {"[zhuce]\r\na=1", "b", "2", "[zhuce]\r\na=1\r\nb=2\r\n"},
      {"[zhuce]\r\na=1", "a", "2", "[zhuce]\r\na=2"},
      {"[zhuce]", "a", "1", "[zhuce]\r\na=1\r\n"},
      {"x=1\n[zhuce]", "a", "1", "x=1\n[zhuce]\na=1\n"},
      {"[other]\nx=1", "a", "1", "[other]\nx=1\n[zhuce]\na=1\n"},
      {"[other]\r\nx=1\r\n", "a", "1", "[other]\r\nx=1\r\n[zhuce]\r\na=1\r\n"},
      // The first line ending found is the file's own.
      {"[other]\nx=1\r\n", "a", "1", "[other]\nx=1\r\n[zhuce]\na=1\n"},
      {"; comment\n\n[zhuce]\n  A = old  \n; note\n\n[other]\nA=keep\n", "a", "new",
       "; comment\n\n[zhuce]\na=new\n; note\n\n[other]\nA=keep\n"},
      {"[zhuce]\na=1\n\n[other]\nx=1\n", "b", "2", "[zhuce]\na=1\nb=2\n\n[other]\nx=1\n"},
      {"[zhuce]\n\n[other]\n", "b", "2", "[zhuce]\nb=2\n\n[other]\n"},
      {"[zhuce]\na=1\na=2\n[zhuce]\na=3\n", "a", "9", "[zhuce]\na=9\na=2\n[zhuce]\na=3\n"},
      {"[zhuce]\nb=1\n[zhuce]\na=3\n", "a", "9", "[zhuce]\nb=1\na=9\n[zhuce]\na=3\n"},
      {kBom + "[zhuce]\r\na=1\r\n", "a", "2", kBom + "[zhuce]\r\na=2\r\n"},
      {kBom, "a", "1", kBom + "[zhuce]\r\na=1\r\n"},
      {kBom + "x=1", "a", "1", kBom + "x=1\r\n[zhuce]\r\na=1\r\n"},
      // A line break in the value ends it: no other key or section can be slipped in.
      {"", "a", "x\r\n[evil]\r\nb=1", "[zhuce]\r\na=x\r\n"},
      {"[zhuce]\na=1\n", "a", "y\nb=2", "[zhuce]\na=y\n"},
      {"[zhuce]\na=1\n", "a", "\rz", "[zhuce]\na=\n"},
      // Values that reading would change are quoted, so they read back as written.
      {"", "a", " x ", "[zhuce]\r\na=\" x \"\r\n"},
      {"", "a", "\tx", "[zhuce]\r\na=\"\tx\"\r\n"},
      {"", "a", "\"q\"", "[zhuce]\r\na=\"\"q\"\"\r\n"},
      {"", "a", "'q'", "[zhuce]\r\na=\"'q'\"\r\n"},
      {"", "a", "\"q", "[zhuce]\r\na=\"q\r\n"},
      {lit("\xFF\0\x01\n[zhuce]\na=1\n\xFE\xFF junk\n"), "a", "2",
       lit("\xFF\0\x01\n[zhuce]\na=2\n\xFE\xFF junk\n")},
      {"[zhuce]\n" + big + "\na=1\n", "a", "2", "[zhuce]\n" + big + "\na=2\n"},
      {big, "a", "1", big + "\r\n[zhuce]\r\na=1\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(profileSet(c.ini, "zhuce", c.key, c.value), c.want)
        << testing::PrintToString(c.ini.substr(0, 80)) << " " << c.key << "="
        << testing::PrintToString(c.value);
  }
}

// What is written reads back unchanged, whatever the file held before, and the other keys keep
// their values.
TEST(ProfileSet, ReadsBackAndKeepsOtherKeys) {
  const std::vector<std::string> files = {
      "",
      "[zhuce]\r\n" + kCopyKey + "=" + kTrue + "\r\nb=old\r\n",
      kBom + "[ZhuCe]\nb=old\n" + kCopyKey + "=" + kTrue,
      "[other]\nb=x\n[zhuce]\r\n" + kCopyKey + " = " + kTrue + "\r",
      lit("\0\0\xFF\n[zhuce]\n") + kCopyKey + "=" + kTrue + lit("\n\0"),
  };
  const std::vector<std::string> values = {
      "",
      "v",
      " lead",
      "trail\t",
      "\"quoted\"",
      "'s'",
      "a=b",
      "[zhuce]",
      ";x",
      "\"",
      "\"\"",
      "C:\\a",
      "/home/\xE7\x94\xA8\xE6\x88\xB7/\xE6\x96\x87\xE4\xBB\xB6"};
  for (const auto& file : files) {
    const std::string copyBefore = profileGet(file, "zhuce", kCopyKey);
    for (const auto& v : values) {
      const std::string after = profileSet(file, "zhuce", "b", v);
      EXPECT_EQ(profileGet(after, "zhuce", "b"), v) << testing::PrintToString(file);
      EXPECT_EQ(profileGet(after, "zhuce", kCopyKey), copyBefore) << testing::PrintToString(file);
      EXPECT_EQ(profileGet(after, "other", "b"), profileGet(file, "other", "b"));
    }
  }
}

TEST(ProfileSet, RandomBytesNeverCostOtherLines) {
  std::mt19937 rng(7);
  const std::string alphabet = std::string("ab=[] ;\t\r\n\"'\xEF\xBB\xBF\xFF", 17) + '\0';
  for (int iter = 0; iter < 3000; ++iter) {
    std::string junk;
    const std::size_t n = rng() % 60;
    for (std::size_t i = 0; i < n; ++i) junk += alphabet[rng() % alphabet.size()];
    const std::string value = iter % 2 ? "v" + std::to_string(iter) : std::string();
    const std::string after = profileSet(junk, "zhuce", "key", value);
    EXPECT_EQ(profileGet(after, "zhuce", "key"), value) << testing::PrintToString(junk);
    // Writing adds or replaces one line: the bytes before it stay as they were.
    const std::size_t keyAt = after.find("key=" + value);
    ASSERT_NE(keyAt, std::string::npos);
    EXPECT_EQ(after.substr(0, std::min(keyAt, junk.size())),
              junk.substr(0, std::min(keyAt, junk.size())));
    // A second write of the same key changes nothing else.
    EXPECT_EQ(profileSet(after, "zhuce", "key", value), after) << testing::PrintToString(junk);
  }
}

// ---- The file itself -------------------------------------------------------------------------

class SettingsFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("quorvel-settings-" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void put(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    return names;
  }
  fs::path dir_;
};

TEST_F(SettingsFileTest, ReadingAMissingFileCreatesNothing) {
  const SettingsFile file((dir_ / "config.ini").string());
  EXPECT_EQ(file.read(kCopyKey), "");
  EXPECT_TRUE(entries().empty());
}

TEST_F(SettingsFileTest, WriteCreatesTheFileAndEveryWriteGoesToIt) {
  const fs::path path = dir_ / "config.ini";
  const SettingsFile file(path.string());
  ASSERT_TRUE(file.write(kCopyKey, kTrue));
  EXPECT_EQ(slurp(path), "[zhuce]\r\n" + kCopyKey + "=" + kTrue + "\r\n");
  ASSERT_TRUE(file.write(kPathKey, "/srv/a b"));
  ASSERT_TRUE(file.write(kPathKey, "/srv/c"));
  EXPECT_EQ(slurp(path),
            "[zhuce]\r\n" + kCopyKey + "=" + kTrue + "\r\n" + kPathKey + "=/srv/c\r\n");
  // A second handle sees it at once: nothing is kept in memory.
  EXPECT_EQ(SettingsFile(path.string()).read(kPathKey), "/srv/c");
  EXPECT_EQ(file.read(kCopyKey), kTrue);
  EXPECT_EQ(entries(), std::vector<std::string>{"config.ini"});
}

TEST_F(SettingsFileTest, WriteKeepsLineEndingsAndForeignLines) {
  const fs::path path = dir_ / "config.ini";
  put(path, kBom + "; hand edited\n[zhuce]\n" + kCopyKey + "=" + kTrue + "\n\n[x]\ny=1\n");
  const SettingsFile file(path.string());
  EXPECT_EQ(file.read(kCopyKey), kTrue);
  ASSERT_TRUE(file.write(kPathKey, ""));
  EXPECT_EQ(slurp(path), kBom + "; hand edited\n[zhuce]\n" + kCopyKey + "=" + kTrue + "\n" +
                             kPathKey + "=\n\n[x]\ny=1\n");
}

TEST_F(SettingsFileTest, WriteIntoAMissingFolderFails) {
  const SettingsFile file((dir_ / "gone" / "config.ini").string());
  EXPECT_FALSE(file.write(kCopyKey, kTrue));
  EXPECT_TRUE(entries().empty());
}

TEST_F(SettingsFileTest, WriteWhereTheFolderIsAFileFails) {
  put(dir_ / "plain", "keep");
  const SettingsFile file((dir_ / "plain" / "config.ini").string());
  EXPECT_FALSE(file.write(kCopyKey, kTrue));
  EXPECT_EQ(file.read(kCopyKey), "");
  EXPECT_EQ(slurp(dir_ / "plain"), "keep");
}

TEST_F(SettingsFileTest, WriteOverAFolderFailsAndLeavesIt) {
  fs::create_directories(dir_ / "config.ini" / "inner");
  const SettingsFile file((dir_ / "config.ini").string());
  EXPECT_FALSE(file.write(kCopyKey, kTrue));
  EXPECT_EQ(file.read(kCopyKey), "");
  EXPECT_TRUE(fs::is_directory(dir_ / "config.ini" / "inner"));
}

// Root ignores permissions, so a full disk stands in for the failing write: a file size limit
// makes the write of the new content fail half way.
TEST_F(SettingsFileTest, FailedWriteLeavesTheOldFileWhole) {
  const fs::path path = dir_ / "config.ini";
  const std::string old = "[zhuce]\r\n" + kCopyKey + "=" + kTrue + "\r\n";
  put(path, old);
  const SettingsFile file(path.string());

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = file.write(kPathKey, std::string(8000, 'p'));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_FALSE(written);
  EXPECT_EQ(slurp(path), old);
  EXPECT_EQ(entries(), std::vector<std::string>{"config.ini"});
  // Once there is room again the same write goes through.
  EXPECT_TRUE(file.write(kPathKey, std::string(8000, 'p')));
  EXPECT_EQ(file.read(kPathKey), std::string(8000, 'p'));
  EXPECT_EQ(file.read(kCopyKey), kTrue);
}

}  // namespace
