// The actions on the result rows and the not-found report, on the real window and real files.
#include <QMenu>
#include <QTimer>

#include "ui_support.hpp"

namespace quorvel::testing {
namespace {

using namespace ui;

class Actions : public MainWindowTest {
 protected:
  TempDir tree;
  TempDir save;

  void runSearch(const std::string& names, bool searchOnly, bool fuzzy = false) {
    start();
    if (searchOnly) click(选择框_只搜索不复制);
    if (fuzzy) click(单选框_模糊搜索);
    w().setContent(编辑框_搜索路径, tree.str());
    w().setContent(编辑框_保存路径, save.str());
    w().setContent(编辑框_文件名, names);
    search();
  }
  int rowOf(const std::string& path) {
    const auto all = rows();
    for (std::size_t i = 0; i < all.size(); ++i)
      if (all[i] == path) return static_cast<int>(i);
    return -1;
  }
  QAbstractItemView* list() { return qobject_cast<QAbstractItemView*>(widget(超级列表框1)); }
  void selectRows(std::initializer_list<int> which) {
    list()->clearSelection();
    for (int r : which)
      list()->selectionModel()->select(list()->model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  void waitIdle() {
    ASSERT_TRUE(waitUntil([this] { return !shell.messages.empty(); }));
  }
  std::string report() { return readBytes(program.path / "未搜到文件列表.txt").value_or("<none>"); }
  void clickReport() {
    const auto before = shell.opened.size();
    click(按钮_未搜索到文件);
    ASSERT_TRUE(waitUntil([&] { return shell.opened.size() > before; }));
  }
};

TEST_F(Actions, DoubleClickOpensTheFirstSelectedRowAndNothingWithoutOne) {
  writeBytes(tree.path / "a 'q' $(x) -n.txt", "");
  writeBytes(tree.path / "b.txt", "");
  runSearch("*.txt", true);
  ASSERT_EQ(rows().size(), 2u);
  selectRows({});
  QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {},
                     QPoint(5, list()->viewport()->height() - 3));
  EXPECT_TRUE(shell.opened.empty());

  selectRows({0});
  const auto r1 = list()->visualRect(list()->model()->index(1, 0)).center();
  QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::ControlModifier, r1);
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0], rows()[0]);  // the upper selected row, bytes as listed
}

TEST_F(Actions, NamesThatAreNotTextReachTheDesktopAsTheirOwnBytes) {
  const std::string name = "bad\xff\xfe name\n-x.txt";
  writeBytes(tree.path / name, "");
  runSearch("*.txt", true);
  ASSERT_EQ(rows(), (std::vector<std::string>{tree / name}));
  const auto r0 = list()->visualRect(list()->model()->index(0, 0)).center();
  QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, r0);
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0], tree / name);
}

TEST_F(Actions, RightClickPopsTheMenuUpBesideThePointerAndCopyChosenCopies) {
  writeBytes(tree.path / "one.txt", "1");
  runSearch("one", true);
  TempDir target;
  shell.folders = {target.str()};
  selectRows({0});
  QPoint shownAt;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    shownAt = menu->pos();
    menu->actions().first()->trigger();
    menu->close();
  });
  QCursor::setPos(list()->viewport()->mapToGlobal(QPoint(40, 200)));  // empty space below the row
  const auto cursor = QCursor::pos();
  QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, QPoint(40, 200));
  ASSERT_TRUE(waitUntil([&] { return fs::exists(target.path / "one.txt"); }));
  EXPECT_EQ(shownAt, cursor + QPoint(3, 3));
  EXPECT_EQ(shell.folderTitles.back(), "复制文件到");
}

TEST_F(Actions, CopyToCopiesSelectedRowsFlatAndLaterSameNamesWin) {
  writeBytes(tree.path / "a" / "same.txt", "first");
  writeBytes(tree.path / "b" / "same.txt", "second");
  writeBytes(tree.path / "c" / "other.txt", "other");
  runSearch("same\r\nother", true);
  TempDir target;
  writeBytes(target.path / "same.txt", "old");
  const int a = rowOf(tree / "a/same.txt"), b = rowOf(tree / "b/same.txt");
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);

  // Cancelled dialog: nothing is copied.
  selectRows({a, b});
  shell.folders = {std::nullopt};
  auto choose = [&] {
    QTimer::singleShot(0, [] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      menu->actions().first()->trigger();
      menu->close();
    });
    w().popupMenu(菜单, {10, 10});
  };
  choose();
  QTest::qWait(50);
  EXPECT_EQ(readBytes(target.path / "same.txt").value(), "old");

  selectRows({a, b});
  shell.folders = {target.str()};
  choose();
  ASSERT_TRUE(waitUntil([&] { return readBytes(target.path / "same.txt") != "old"; }));
  QTest::qWait(50);
  // Copied in list order: the lower row's file stands last.
  EXPECT_EQ(readBytes(target.path / "same.txt").value(), b > a ? "second" : "first");
  EXPECT_FALSE(fs::exists(target.path / "other.txt"));  // not selected
  EXPECT_EQ(readBytes(tree.path / "a" / "same.txt").value(), "first");
}

TEST_F(Actions, DeleteAfterSearchOnlyRemovesEveryRowsFileButNeverFoldersOrLinkTargets) {
  writeBytes(tree.path / "x1.txt", "1");
  writeBytes(tree.path / "sub" / "x2.txt", "2");
  TempDir outside;
  writeBytes(outside.path / "target.txt", "keep me");
  fs::create_symlink(outside.path / "target.txt", tree.path / "x3.txt");
  runSearch("x1\r\nx2\r\nx3", true);
  ASSERT_EQ(rows().size(), 3u);

  shell.confirmAnswer = form::Answer::Cancel;
  click(按钮_删除原始路径文件);
  EXPECT_EQ(shell.confirms.back(), "您确定要删除原始路径文件吗？删除后无法恢复，请慎重！");
  QTest::qWait(50);
  EXPECT_TRUE(shell.messages.empty());
  EXPECT_TRUE(fs::exists(tree.path / "x1.txt"));

  shell.confirmAnswer = form::Answer::Ok;
  click(按钮_删除原始路径文件);
  waitIdle();
  EXPECT_EQ(shell.messages.back().text, "原始文件删除完毕！");
  EXPECT_EQ(shell.messages.back().title, "信息提示！");
  EXPECT_FALSE(fs::exists(tree.path / "x1.txt"));
  EXPECT_FALSE(fs::exists(tree.path / "sub" / "x2.txt"));
  EXPECT_FALSE(fs::is_symlink(tree.path / "x3.txt"));
  EXPECT_EQ(readBytes(outside.path / "target.txt").value(), "keep me");
  EXPECT_TRUE(fs::is_directory(tree.path / "sub"));
  EXPECT_EQ(rows().size(), 3u);  // the rows stay
}

TEST_F(Actions, DeleteNeverDestroysTheLastCopyOfAFile) {
  writeBytes(tree.path / "a" / "dup.txt", "first");
  writeBytes(tree.path / "b" / "dup.txt", "second");
  writeBytes(tree.path / "c" / "solo.txt", "solo");
  runSearch("dup\r\nsolo", false);
  ASSERT_EQ(rows().size(), 3u);
  click(按钮_删除原始路径文件);
  waitIdle();
  // dup.txt: the later copy replaced the earlier, so only that row's original goes.
  const bool aFirst = rowOf(tree / "a/dup.txt") < rowOf(tree / "b/dup.txt");
  EXPECT_EQ(fs::exists(tree.path / "a" / "dup.txt"), aFirst);
  EXPECT_EQ(fs::exists(tree.path / "b" / "dup.txt"), !aFirst);
  EXPECT_FALSE(fs::exists(tree.path / "c" / "solo.txt"));
  EXPECT_EQ(readBytes(save.path / "solo.txt").value(), "solo");
  EXPECT_TRUE(shell.messages.back().text.starts_with("原始文件删除完毕！\n有1个文件未删除"))
      << shell.messages.back().text;
}

TEST_F(Actions, DeleteKeepsRowsWhoseCopyFailedAndTheCopiesThemselves) {
  // The save folder is a subfolder of the file's own folder, so the walk reaches it after the
  // file has been copied there.
  writeBytes(tree.path / "in" / "keep.txt", "data");
  fs::create_directories(tree.path / "in" / "zsave");
  start();
  w().setContent(编辑框_搜索路径, tree.str());
  w().setContent(编辑框_保存路径, tree / "in/zsave");
  w().setContent(编辑框_文件名, "keep");
  search();
  // Rows: the original, then its copy found again inside the save folder.
  ASSERT_EQ(rows().size(), 2u) << caption();
  click(按钮_删除原始路径文件);
  waitIdle();
  EXPECT_FALSE(fs::exists(tree.path / "in" / "keep.txt"));
  EXPECT_EQ(readBytes(tree.path / "in" / "zsave" / "keep.txt").value(), "data");

  // A failed copy keeps its original.
  TearDown();
  writeBytes(tree.path / "in" / "fail.txt", "only one");
  shell.messages.clear();
  start();
  w().setContent(编辑框_搜索路径, tree / "in");
  w().setContent(编辑框_保存路径, tree / "no-such-folder");
  w().setContent(编辑框_文件名, "fail");
  search();
  click(按钮_删除原始路径文件);
  waitIdle();
  EXPECT_EQ(readBytes(tree.path / "in" / "fail.txt").value(), "only one");
  EXPECT_NE(shell.messages.back().text.find("有1个文件未删除"), std::string::npos);
}

TEST_F(Actions, OpenSaveFolderHandsTheBoxContentOverAndNothingWhenEmpty) {
  runSearch("x", true);
  click(按钮_查看搜索保存结果);
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0], save.str());
  w().setContent(编辑框_保存路径, "");
  click(按钮_查看搜索保存结果);
  EXPECT_EQ(shell.opened.size(), 1u);
}

TEST_F(Actions, ReportListsTheNamesNoFileMatchedByTheSearchRule) {
  writeBytes(tree.path / "1234.jpg", "");
  writeBytes(tree.path / "Report.TXT", "");
  runSearch("123\r\n1234\r\nreport\r\nmissing\r\nmissing\r\n照片", true);
  clickReport();
  // Exact rule: "123" is only part of 1234.jpg, so it was not found.
  EXPECT_EQ(report(), "123\r\nmissing\r\nmissing\r\n照片\r\n");
  EXPECT_EQ(shell.opened.back(), program / "未搜到文件列表.txt");

  // Names added after the search are tested against the rows the same way; rewritten, not
  // appended.
  w().setContent(编辑框_文件名, "1234.JPG\r\nnew");
  clickReport();
  EXPECT_EQ(report(), "new\r\n");
  w().setContent(编辑框_文件名, "1234");
  clickReport();
  EXPECT_EQ(report(), "");
}

TEST_F(Actions, FuzzyReportFindsKeywordsAnywhereInTheName) {
  writeBytes(tree.path / "holiday-photo.jpg", "");
  runSearch("PHOTO\r\nday\r\nnight", true, true);
  clickReport();
  EXPECT_EQ(report(), "night\r\n");
}

}  // namespace
}  // namespace quorvel::testing
