// The search from the click to the completion text, on the real window offscreen and real trees.
#include "ui_support.hpp"

namespace quorvel::testing {
namespace {

using namespace ui;

class Search : public MainWindowTest {
 protected:
  TempDir tree;
  TempDir save;

  void given(const std::string& root, const std::string& names) {
    w().setContent(编辑框_搜索路径, root);
    w().setContent(编辑框_保存路径, save.str());
    w().setContent(编辑框_文件名, names);
  }
};

TEST_F(Search, ChecksComeInOrderAndStopTheRequest) {
  start();
  click(按钮_立即搜索);  // given folder, both paths empty: only the first message
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_EQ(shell.messages[0].text, "您选择的是按指定路径搜索，请指定搜索路径后再搜索！");
  EXPECT_EQ(shell.messages[0].title, "信息：");

  w().setContent(编辑框_搜索路径, tree.str());
  click(按钮_立即搜索);
  ASSERT_EQ(shell.messages.size(), 2u);
  EXPECT_EQ(shell.messages[1].text, "请指定文件保存路径后再执行搜索！");

  click(选择框_只搜索不复制);  // search-only: an empty save folder is fine
  w().setContent(编辑框_文件名, "  \r\n\xE3\x80\x80 \r\n\r\n");
  click(按钮_立即搜索);
  ASSERT_EQ(shell.messages.size(), 3u);
  EXPECT_EQ(shell.messages[2].text, "您没有输入任何要搜索的文件名！请输入后再执行搜索！");
  EXPECT_EQ(w().content(编辑框_文件名), "");  // already cleaned
  EXPECT_EQ(caption(), "");                   // nothing started

  click(单选框_整个电脑);  // an empty search folder is no error for a whole-computer search
  w().setContent(编辑框_搜索路径, "");
  w().setContent(编辑框_文件名, "x");
  search();
  EXPECT_EQ(shell.messages.size(), 3u);
}

TEST_F(Search, NamesBoxIsCleanedToItsNonBlankLines) {
  start();
  given(tree.str(), "a\r\n\r\n   \r\n b \r\nb\r\n\t");
  search();
  EXPECT_EQ(w().content(编辑框_文件名), "a\r\n b \r\nb\r\n\t\r\n");
}

TEST_F(Search, GivenFolderListsCopiesAndCompletes) {
  writeBytes(tree.path / "report.txt", "1");
  writeBytes(tree.path / "REPORT.DOC", "2");
  writeBytes(tree.path / "reports.txt", "3");
  writeBytes(tree.path / "sub" / "report", "4");
  writeBytes(tree.path / "sub" / "cab.txt", "5");
  fs::create_directories(tree.path / "report.d");  // folders are never listed
  start();
  w().setInterval(时钟1, 2000);  // an earlier whole-computer search left it ticking
  given(tree.str(), "report\r\ncab.txt");
  search();

  auto got = rows();
  std::sort(got.begin(), got.begin() + 2);  // directory order within the first folder's name
  const std::string t = tree.str();
  EXPECT_EQ(got, (std::vector<std::string>{t + "/REPORT.DOC", t + "/report.txt", t + "/sub/report",
                                           t + "/sub/cab.txt"}));
  EXPECT_EQ(caption(), "搜索完毕！共搜索到文件4个.");
  EXPECT_EQ(w().interval(时钟1), 0);
  for (Id b : {按钮_查看搜索保存结果, 按钮_未搜索到文件, 按钮_删除原始路径文件})
    EXPECT_FALSE(w().disabled(b));
  EXPECT_EQ(readBytes(save.path / "report").value(), "4");
  EXPECT_EQ(readBytes(save.path / "cab.txt").value(), "5");
  EXPECT_TRUE(fs::exists(save.path / "report.txt"));
  EXPECT_FALSE(fs::exists(save.path / "reports.txt"));
}

TEST_F(Search, FailedCopiesAreCountedInTheCompletionText) {
  writeBytes(tree.path / "a.txt", "1");
  writeBytes(tree.path / "b" / "a.jpg", "2");
  start();
  given(tree.str(), "a");
  w().setContent(编辑框_保存路径, save / "missing");
  search();
  EXPECT_EQ(caption(), "搜索完毕！共搜索到文件2个.其中2个复制失败。");
}

TEST_F(Search, SaveFolderInsideTheTreeLosesNothing) {
  writeBytes(tree.path / "x" / "photo.jpg", "original");
  fs::create_directories(tree.path / "zz");
  start();
  given(tree.str(), "photo");
  w().setContent(编辑框_保存路径, tree / "zz");
  search();
  EXPECT_EQ(readBytes(tree.path / "x" / "photo.jpg").value(), "original");
  EXPECT_EQ(readBytes(tree.path / "zz" / "photo.jpg").value(), "original");
  EXPECT_FALSE(caption().ends_with("复制失败。")) << caption();
}

TEST_F(Search, WholeComputerSearchWalksEveryRootAndTheTickReports) {
  TempDir second;
  writeBytes(tree.path / "one.txt", "1");
  writeBytes(second.path / "deep" / "one.csv", "2");
  roots = {tree.str(), second.str()};
  start();
  click(单选框_整个电脑);
  click(选择框_只搜索不复制);
  w().setContent(编辑框_文件名, "one");
  click(按钮_立即搜索);
  EXPECT_EQ(w().interval(时钟1), 2000);
  ASSERT_TRUE(waitUntil([this] { return searchDone(); }));
  EXPECT_EQ(caption(), "搜索完毕！共搜索到文件2个.");
  auto got = rows();
  std::vector<std::string> expected{second / "deep/one.csv", tree / "one.txt"};
  std::sort(got.begin(), got.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(got, expected);
  EXPECT_EQ(w().interval(时钟1), 2000);  // it keeps ticking
}

TEST_F(Search, WholeComputerWithoutDisksCompletesWithZero) {
  start();
  click(单选框_整个电脑);
  click(选择框_只搜索不复制);
  w().setContent(编辑框_文件名, "x");
  click(按钮_立即搜索);
  EXPECT_EQ(caption(), "正在搜索，请稍后...");
  ASSERT_TRUE(waitUntil([this] { return searchDone(); }));
  EXPECT_EQ(caption(), "搜索完毕！共搜索到文件0个.");
}

TEST_F(Search, ANewSearchReplacesTheEarlierOne) {
  // A tree big enough that the first search is still running at the second click.
  for (int d = 0; d < 200; ++d)
    for (int f = 0; f < 20; ++f)
      writeBytes(tree.path / ("d" + std::to_string(d)) / ("hit" + std::to_string(f) + ".txt"), "");
  TempDir small;
  writeBytes(small.path / "hit.txt", "");
  start();
  click(选择框_只搜索不复制);
  given(tree.str(), "*hit*");
  click(按钮_立即搜索);
  given(small.str(), "hit");
  search();
  // Only rows of the current search, and the count is theirs.
  QTest::qWait(200);
  EXPECT_EQ(rows(), (std::vector<std::string>{small / "hit.txt"}));
  EXPECT_EQ(caption(), "搜索完毕！共搜索到文件1个.");
}

TEST_F(Search, DuplicateNamesListEveryMatchTwice) {
  writeBytes(tree.path / "cab.txt", "");
  start();
  click(选择框_只搜索不复制);
  click(单选框_模糊搜索);
  given(tree.str(), "ab\r\nb\r\nab");
  search();
  EXPECT_EQ(rows().size(), 3u);
  EXPECT_EQ(caption(), "搜索完毕！共搜索到文件3个.");
}

}  // namespace
}  // namespace quorvel::testing
