// The search engine on real temporary trees: row order, copies, odd names, deep and long paths,
// links, exclusions, cancellation and completion.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "os/os.hpp"
#include "search/match.hpp"
#include "search/search.hpp"

namespace quorvel::search {
namespace {

using namespace std::chrono_literals;

class Options : public LiveOptions {
 public:
  std::atomic<bool> isFuzzy{false};
  std::atomic<bool> isSearchOnly{true};
  std::function<std::string()> save = [] { return std::string(); };
  bool fuzzy() const override { return isFuzzy; }
  bool searchOnly() const override { return isSearchOnly; }
  std::string saveFolder() const override { return save(); }
};

struct Row {
  std::string path;
  std::uint32_t tag;
  bool operator==(const Row&) const = default;
};

class Collector : public Sink {
 public:
  std::function<void(std::string_view)> onRow;  // runs outside the lock

  void row(std::string_view path, std::uint32_t tag) override {
    if (onRow) onRow(path);
    std::lock_guard lock(m_);
    rows_.push_back({std::string(path), tag});
    cv_.notify_all();
  }
  void progress(std::string text) override {
    std::lock_guard lock(m_);
    progress_.push_back(std::move(text));
  }
  void finished(std::uint64_t failedCopies) override {
    std::lock_guard lock(m_);
    ++finishedCount_;
    failed_ = failedCopies;
    cv_.notify_all();
  }
  std::vector<Row> rows() {
    std::lock_guard lock(m_);
    return rows_;
  }
  std::vector<std::string> paths() {
    std::vector<std::string> out;
    for (const auto& r : rows()) out.push_back(r.path);
    return out;
  }
  std::vector<std::string> progressTexts() {
    std::lock_guard lock(m_);
    return progress_;
  }
  int finishedCount() {
    std::lock_guard lock(m_);
    return finishedCount_;
  }
  std::uint64_t failed() {
    std::lock_guard lock(m_);
    return failed_;
  }
  void waitForRows(std::size_t n) {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return rows_.size() >= n; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<Row> rows_;
  std::vector<std::string> progress_;
  int finishedCount_ = 0;
  std::uint64_t failed_ = 0;
};

void writeFile(const std::string& path, const std::string& content = "x") {
  std::ofstream(path, std::ios::binary) << content;
}
std::string readAll(const std::string& path) {
  auto r = os::readFile(path);
  return r ? *r : std::string("<missing>");
}
void makeDir(const std::string& path) {
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
}

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quorvel_search_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
  }
  void TearDown() override {
    // rm copes with trees deeper than any path the C library would accept.
    const std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string p(const std::string& rel) const { return root_ + "/" + rel; }

  // Runs a whole search to its end.
  std::shared_ptr<Collector> run(Request req, std::shared_ptr<Options> opts = nullptr) {
    if (!opts) opts = std::make_shared<Options>();
    auto sink = std::make_shared<Collector>();
    Job job(std::move(req), opts, sink);
    job.start();
    job.join();
    EXPECT_FALSE(job.running());
    EXPECT_EQ(sink->finishedCount(), 1);
    lastSaveFolders_ = job.saveFolders();
    return sink;
  }

  // The expected rows, by the rules: a reference walk (recursive, by paths) with the wildcard
  // matcher, one name at a time.
  void expectRows(const std::string& folder, const std::vector<std::string>& names, Mode mode,
                  std::vector<std::string>& out) {
    os::Listing l;
    os::Folder::open(folder).read(l);
    for (const auto& name : names)
      for (const auto& e : l.entries)
        if (e.kind == os::EntryKind::File && wildcardMatch(patternFor(name, mode), l.name(e)))
          out.push_back(os::joinPath(folder, l.name(e)));
    for (const auto& e : l.entries)
      if (e.kind == os::EntryKind::Folder && l.name(e).back() != '.')
        expectRows(os::joinPath(folder, l.name(e)), names, mode, out);
  }

  std::string root_;
  std::vector<std::string> lastSaveFolders_;
};

TEST_F(SearchTest, RowsGroupedByNameThenSubfoldersDepthFirst) {
  for (const char* f : {"report", "report.txt", "REPORT.DOC", "reports.txt", "report_1.txt",
                        "cab.txt", "notes.md", "report.txt.bak"})
    writeFile(p(f));
  makeDir(p("sub1"));
  makeDir(p("sub1/deeper"));
  makeDir(p("sub2"));
  makeDir(
      p("report"  // a folder named like a match is never listed
        ".d"));
  writeFile(p("sub1/Report.log"));
  writeFile(p("sub1/deeper/report"));
  writeFile(p("sub2/cab"));
  writeFile(p("report.d/report.x"));
  const std::vector<std::string> names = {"report.txt", "cab", "report", "zzz"};
  for (Mode mode : {Mode::Exact, Mode::Fuzzy}) {
    auto opts = std::make_shared<Options>();
    opts->isFuzzy = mode == Mode::Fuzzy;
    auto sink = run({names, {root_}, {}}, opts);
    std::vector<std::string> expected;
    expectRows(root_, names, mode, expected);
    EXPECT_EQ(sink->paths(), expected);
    if (mode == Mode::Exact) {
      const std::multiset<std::string> got(expected.begin(), expected.end());
      const std::multiset<std::string> want = {
          p("report.txt"),         p("report.txt.bak"), p("cab.txt"),          p("report"),
          p("report.txt"),         p("REPORT.DOC"),     p("report.txt.bak"),   p("sub1/Report.log"),
          p("sub1/deeper/report"), p("sub2/cab"),       p("report.d/report.x")};
      EXPECT_EQ(got, want);
    }
    // One progress text at least, ending in a number from 1 to 5000, naming the last name.
    const auto texts = sink->progressTexts();
    ASSERT_FALSE(texts.empty());
    const std::string head = progressText("zzz", 0).substr(0, progressText("zzz", 0).size() - 1);
    ASSERT_EQ(texts.back().rfind(head, 0), 0u) << texts.back();
    const int n = std::stoi(texts.back().substr(head.size()));
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 5000);
  }
}

TEST_F(SearchTest, CopiesLandFlatAndTheLastSameNamedCopyStays) {
  makeDir(p("tree"));
  makeDir(p("tree/a"));
  makeDir(p("tree/b"));
  makeDir(p("save"));
  writeFile(p("tree/a/photo.jpg"), "from a");
  writeFile(p("tree/b/photo.jpg"), "from b");
  writeFile(p("tree/a/other.txt"), "other");
  auto opts = std::make_shared<Options>();
  opts->isSearchOnly = false;
  const std::string save = p("save");
  opts->save = [save] { return save; };
  auto sink = run({{"photo", "other"}, {p("tree")}, {}}, opts);
  const auto rows = sink->rows();
  ASSERT_EQ(rows.size(), 3u);
  std::string lastPhoto;
  for (const auto& r : rows) {
    EXPECT_EQ(tagOutcome(r.tag), RowOutcome::Copied) << r.path;
    EXPECT_EQ(tagSaveFolder(r.tag), 0u);
    if (r.path.ends_with("photo.jpg")) lastPhoto = r.path;
  }
  EXPECT_EQ(readAll(p("save/photo.jpg")), readAll(lastPhoto));
  EXPECT_EQ(readAll(p("save/other.txt")), "other");
  EXPECT_EQ(lastSaveFolders_, std::vector<std::string>{save});
  EXPECT_EQ(sink->failed(), 0u);
}

TEST_F(SearchTest, SaveFolderInsideTheTreeDestroysNothing) {
  makeDir(p("save"));
  makeDir(p("x"));
  makeDir(p("y"));
  writeFile(p("x/doc.txt"), "first");
  writeFile(p("y/doc.txt"), "second");
  writeFile(p("doc.txt"), "top");
  auto opts = std::make_shared<Options>();
  opts->isSearchOnly = false;
  const std::string save = p("save");
  opts->save = [save] { return save; };
  auto sink = run({{"doc"}, {root_}, {}}, opts);
  bool sawItsCopy = false;
  for (const auto& r : sink->rows()) {
    if (r.path == p("save/doc.txt")) {
      EXPECT_EQ(tagOutcome(r.tag), RowOutcome::IsItsCopy);
      sawItsCopy = true;
    } else {
      EXPECT_EQ(tagOutcome(r.tag), RowOutcome::Copied) << r.path;
    }
  }
  EXPECT_TRUE(sawItsCopy);
  EXPECT_EQ(readAll(p("x/doc.txt")), "first");
  EXPECT_EQ(readAll(p("y/doc.txt")), "second");
  EXPECT_EQ(readAll(p("doc.txt")), "top");
  const std::string kept = readAll(p("save/doc.txt"));
  EXPECT_TRUE(kept == "first" || kept == "second" || kept == "top") << kept;
  EXPECT_EQ(sink->failed(), 0u);
}

TEST_F(SearchTest, OddBytesInNamesAndLongNames) {
  const std::vector<std::string> odd = {"bad\xFF\xFE",         "line\nbreak",
                                        "back\\slash",         "tab\there",
                                        std::string(255, 'n'), "\xE6\x96\x87\xE4\xBB\xB6"};
  for (const auto& n : odd) writeFile(p(n + (n.size() < 250 ? ".txt" : "")));
  auto sink = run({odd, {root_}, {}});
  std::vector<std::string> want;
  for (const auto& n : odd) want.push_back(p(n + (n.size() < 250 ? ".txt" : "")));
  EXPECT_EQ(sink->paths(), want);
}

TEST_F(SearchTest, PathsLongerThanTheSystemLimit) {
  std::string rel;
  const std::string part(250, 'd');
  int dir = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 20; ++i) {  // about 5,000 bytes below the root
    ASSERT_EQ(::mkdirat(dir, part.c_str(), 0755), 0);
    const int child = ::openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(dir);
    dir = child;
    rel += "/" + part;
  }
  const std::string fileName(255, 'f');
  ::close(::openat(dir, fileName.c_str(), O_CREAT | O_WRONLY, 0644));
  ::close(dir);
  auto sink = run({{fileName}, {root_}, {}});
  EXPECT_EQ(sink->paths(), std::vector<std::string>{root_ + rel + "/" + fileName});
  EXPECT_GT(root_.size() + rel.size(), 4096u);
}

TEST_F(SearchTest, TenThousandLevelsWithFewDescriptors) {
  int dir = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  std::string rel;
  std::string middle;
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(::mkdirat(dir, "d", 0755), 0);
    if (i == 5000) {
      ::close(::openat(dir, "mid.txt", O_CREAT | O_WRONLY, 0644));
      middle = root_ + rel + "/mid.txt";
    }
    const int child = ::openat(dir, "d", O_RDONLY | O_DIRECTORY);
    ::close(dir);
    dir = child;
    rel += "/d";
  }
  ::close(::openat(dir, "bottom.txt", O_CREAT | O_WRONLY, 0644));
  ::close(dir);
  // A side branch near the top, after the deep one has been walked and its folders closed.
  makeDir(p("side"));
  writeFile(p("side/bottom.txt"));

  rlimit old{};
  ::getrlimit(RLIMIT_NOFILE, &old);
  rlimit low = old;
  low.rlim_cur = 200;  // a walk holding one descriptor per level would run out
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  auto sink = run({{"bottom", "mid"}, {root_}, {}});
  ::setrlimit(RLIMIT_NOFILE, &old);
  const auto paths = sink->paths();
  const std::set<std::string> got(paths.begin(), paths.end());
  EXPECT_EQ(paths.size(), 3u);
  EXPECT_EQ(got,
            (std::set<std::string>{middle, root_ + rel + "/bottom.txt", p("side/bottom.txt")}));
}

TEST_F(SearchTest, LinksToFoldersAreNotFollowedLinksToFilesAreFiles) {
  makeDir(p("a"));
  writeFile(p("f.txt"));
  ASSERT_EQ(::symlink(root_.c_str(), p("a/loop").c_str()), 0);    // back to an ancestor
  ASSERT_EQ(::symlink("../f.txt", p("a/f.txt").c_str()), 0);      // to a file
  ASSERT_EQ(::symlink("nowhere", p("a/f.dangling").c_str()), 0);  // dangling
  ASSERT_EQ(::symlink(".", p("a/f.self").c_str()), 0);            // to a folder, named like one
  auto sink = run({{"f", "loop"}, {root_}, {}});
  const auto paths = sink->paths();
  const std::multiset<std::string> got(paths.begin(), paths.end());
  EXPECT_EQ(got, (std::multiset<std::string>{p("f.txt"), p("a/f.txt"), p("a/f.dangling")}));
}

TEST_F(SearchTest, ExcludedFoldersAndDotNamesAreNotEntered) {
  for (const char* d : {"m", "n", "n/m", "ends.", "ok"}) makeDir(p(d));
  for (const char* f : {"m/x.txt", "n/x.txt", "n/m/x.txt", "ends./x.txt", "ok/x.txt"})
    writeFile(p(f));
  auto sink = run({{"x"}, {root_}, {p("m"), p("ok/")}});
  const auto paths = sink->paths();
  const std::set<std::string> got(paths.begin(), paths.end());
  EXPECT_EQ(got, (std::set<std::string>{p("n/x.txt"), p("n/m/x.txt"), p("ok/x.txt")}));
}

TEST_F(SearchTest, ManyNamesHugeNameAndDuplicates) {
  std::vector<std::string> names;
  for (int i = 0; i < 10000; ++i) names.push_back("file" + std::to_string(i));
  names.push_back(std::string(100 * 1024, 'z'));
  names.push_back("file7");  // twice in the list: listed twice
  writeFile(p("file7.txt"));
  writeFile(p("file9999"));
  writeFile(p("file10000"));
  auto sink = run({names, {root_}, {}});
  EXPECT_EQ(sink->paths(),
            (std::vector<std::string>{p("file7.txt"), p("file9999"), p("file7.txt")}));

  auto opts = std::make_shared<Options>();
  opts->isFuzzy = true;
  writeFile(p("cab.txt"));
  auto fuzzy = run({{"ab", "b"}, {root_}, {}}, opts);
  EXPECT_EQ(fuzzy->paths(), (std::vector<std::string>{p("cab.txt"), p("cab.txt")}));
}

TEST_F(SearchTest, CancelStopsAndNothingArrivesAfter) {
  for (int d = 0; d < 40; ++d) {
    makeDir(p("d" + std::to_string(d)));
    for (int f = 0; f < 50; ++f) writeFile(p("d" + std::to_string(d) + "/f" + std::to_string(f)));
  }
  auto opts = std::make_shared<Options>();
  opts->isFuzzy = true;
  auto sink = std::make_shared<Collector>();
  sink->onRow = [](std::string_view) { std::this_thread::sleep_for(200us); };
  {
    Job job({{"f"}, {root_, root_}, {}}, opts, sink);
    job.start();
    EXPECT_TRUE(job.running());
    sink->waitForRows(1);
    job.cancel();
    const std::size_t atCancel = sink->rows().size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(sink->rows().size(), atCancel);
    EXPECT_LT(atCancel, 4000u);
    job.join();
    EXPECT_FALSE(job.running());
    EXPECT_EQ(sink->rows().size(), atCancel);
  }
  EXPECT_EQ(sink->finishedCount(), 0);
}

TEST_F(SearchTest, FinishedOnceWithTheFailedCopyCount) {
  makeDir(p("r1"));
  makeDir(p("r2"));
  writeFile(p("r1/a.txt"));
  writeFile(p("r1/a.md"));
  writeFile(p("r2/a"));
  auto opts = std::make_shared<Options>();
  opts->isSearchOnly = false;
  const std::string missing = p("no/such/folder");
  opts->save = [missing] { return missing; };
  auto sink = std::make_shared<Collector>();
  {
    Job job({{"a"}, {p("r1"), p("r2"), p("absent")}, {}}, opts, sink);
    job.start();
    job.join();
    EXPECT_EQ(job.failedCopies(), 3u);
  }
  EXPECT_EQ(sink->finishedCount(), 1);
  EXPECT_EQ(sink->failed(), 3u);
  for (const auto& r : sink->rows()) EXPECT_EQ(tagOutcome(r.tag), RowOutcome::CopyFailed);
  EXPECT_EQ(sink->rows().size(), 3u);
}

TEST_F(SearchTest, SaveFolderChangeAppliesFromTheNextCopy) {
  makeDir(p("s1"));
  makeDir(p("s2"));
  makeDir(p("t"));
  writeFile(p("t/k.1"));
  writeFile(p("t/k.2"));
  auto opts = std::make_shared<Options>();
  opts->isSearchOnly = false;
  auto reads = std::make_shared<std::atomic<int>>(0);
  const std::string s1 = p("s1"), s2 = p("s2");
  opts->save = [=] { return reads->fetch_add(1) == 0 ? s1 : s2; };
  auto sink = run({{"k"}, {p("t")}, {}}, opts);
  const auto rows = sink->rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(tagSaveFolder(rows[0].tag), 0u);
  EXPECT_EQ(tagSaveFolder(rows[1].tag), 1u);
  EXPECT_EQ(lastSaveFolders_, (std::vector<std::string>{s1, s2}));
  EXPECT_EQ(readAll(os::joinPath(s1, text::fileNameOf(rows[0].path, '/'))), "x");
}

TEST_F(SearchTest, FolderRemovedDuringTheWalk) {
  makeDir(p("s1"));
  makeDir(p("s2"));
  writeFile(p("x.txt"));
  writeFile(p("s1/x.txt"));
  writeFile(p("s2/x.txt"));
  auto sink = std::make_shared<Collector>();
  const std::string cmd = "rm -rf '" + p("s1") + "' '" + p("s2") + "'";
  sink->onRow = [&](std::string_view path) {
    if (path == p("x.txt")) {
      ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
  };
  Job job({{"x"}, {root_}, {}}, std::make_shared<Options>(), sink);
  job.start();
  job.join();
  EXPECT_EQ(sink->paths(), std::vector<std::string>{p("x.txt")});
  EXPECT_EQ(sink->finishedCount(), 1);
}

TEST_F(SearchTest, UnreadableFolderListsNothing) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  makeDir(p("closed"));
  writeFile(p("closed/x.txt"));
  writeFile(p("x.txt"));
  ::chmod(p("closed").c_str(), 0);
  auto sink = run({{"x"}, {root_}, {}});
  ::chmod(p("closed").c_str(), 0755);
  EXPECT_EQ(sink->paths(), std::vector<std::string>{p("x.txt")});
}

}  // namespace
}  // namespace quorvel::search
