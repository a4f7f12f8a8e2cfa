// Start-up restore, the option and path controls and their saves, on the real window offscreen.
#include "settings/settings.hpp"
#include "ui_support.hpp"

namespace quorvel::testing {
namespace {

using namespace ui;

class Options : public MainWindowTest {
 protected:
  std::string setting(std::string_view key) { return settings::SettingsFile(iniPath()).read(key); }
  // The two invariants every handler keeps.
  void expectInvariants() {
    const bool whole = w().selected(单选框_整个电脑);
    EXPECT_NE(whole, w().selected(单选框_指定路径));
    EXPECT_EQ(w().disabled(编辑框_搜索路径), whole);
    EXPECT_EQ(w().disabled(按钮_搜索路径), whole);
    const bool searchOnly = w().ticked(选择框_只搜索不复制);
    EXPECT_EQ(w().disabled(编辑框_保存路径), searchOnly);
    EXPECT_EQ(w().disabled(按钮_保存路径), searchOnly);
    EXPECT_NE(w().selected(单选框_精确搜索), w().selected(单选框_模糊搜索));
  }
};

TEST_F(Options, StartWithoutSettingsFileUsesDefaultsAndCreatesNone) {
  start();
  EXPECT_TRUE(w().selected(单选框_指定路径));
  EXPECT_FALSE(w().selected(单选框_整个电脑));
  EXPECT_FALSE(w().ticked(选择框_只搜索不复制));
  EXPECT_TRUE(w().selected(单选框_精确搜索));
  EXPECT_FALSE(w().selected(单选框_模糊搜索));
  EXPECT_EQ(w().content(编辑框_搜索路径), "");
  EXPECT_EQ(w().content(编辑框_保存路径), "");
  expectInvariants();
  EXPECT_FALSE(fs::exists(iniPath()));
}

struct RestoreCase {
  const char* whole;
  const char* searchOnly;
  const char* exact;
  bool expectWhole, expectSearchOnly, expectFuzzy;
};

TEST_F(Options, RestoreTableWithExpectedAndUnexpectedValues) {
  const RestoreCase cases[] = {
      {"真", "真", "假", true, true, true},
      {"假", "假", "真", false, false, false},
      {"", "", "", false, false, false},
      {"1", "true", "0", false, false, false},
      {"TRUE", "yes", "false", false, false, false},
      {" 真", "真 ", "假", true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.whole) + "|" + c.searchOnly + "|" + c.exact);
    writeBytes(iniPath(), std::string("[zhuce]\r\n全盘搜索=") + c.whole + "\r\n复制=" +
                              c.searchOnly + "\r\n精确=" + c.exact + "\r\n搜索路径=/data/照片\r\n");
    start();
    EXPECT_EQ(w().selected(单选框_整个电脑), c.expectWhole);
    EXPECT_EQ(w().ticked(选择框_只搜索不复制), c.expectSearchOnly);
    EXPECT_EQ(w().selected(单选框_模糊搜索), c.expectFuzzy);
    // The path stays visible even where its box is disabled.
    EXPECT_EQ(w().content(编辑框_搜索路径), "/data/照片");
    expectInvariants();
    TearDown();
  }
}

TEST_F(Options, RestoringPathsRewritesTheSameValueAndNothingElse) {
  const std::string ini =
      "; kept as it is\n[other]\nx = 1\n[ZHUCE]\n保存路径 = /tmp/存放 \n搜索路径=/srv\nunknown=7\n";
  writeBytes(iniPath(), ini);
  start();
  EXPECT_EQ(w().content(编辑框_保存路径), "/tmp/存放");
  EXPECT_EQ(w().content(编辑框_搜索路径), "/srv");
  // Same values written back: every line the program does not own is untouched, and the values
  // read back unchanged.
  const auto after = readBytes(iniPath()).value();
  EXPECT_NE(after.find("; kept as it is\n[other]\nx = 1\n"), std::string::npos) << after;
  EXPECT_NE(after.find("unknown=7\n"), std::string::npos) << after;
  EXPECT_EQ(setting("保存路径"), "/tmp/存放");
  EXPECT_EQ(setting("搜索路径"), "/srv");
  EXPECT_EQ(setting("全盘搜索"), "");
  EXPECT_EQ(setting("复制"), "");
  EXPECT_EQ(setting("精确"), "");
}

TEST_F(Options, EmptySavedPathLeavesTheBoxAsDesigned) {
  writeBytes(iniPath(), "[zhuce]\r\n保存路径=\r\n");
  start();
  EXPECT_EQ(w().content(编辑框_保存路径), "");
  EXPECT_EQ(readBytes(iniPath()).value(), "[zhuce]\r\n保存路径=\r\n");
}

TEST_F(Options, EachOptionChangeSavesAtOnceAndKeepsTheInvariants) {
  start();
  struct Step {
    Id control;
    const char* key;
    const char* value;
  };
  const Step steps[] = {
      {单选框_整个电脑, "全盘搜索", "真"}, {单选框_整个电脑, "全盘搜索", "真"},  // re-click
      {单选框_指定路径, "全盘搜索", "假"}, {单选框_模糊搜索, "精确", "假"},
      {单选框_精确搜索, "精确", "真"},     {选择框_只搜索不复制, "复制", "真"},
      {选择框_只搜索不复制, "复制", "假"}, {单选框_整个电脑, "全盘搜索", "真"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.key);
    click(step.control);
    EXPECT_EQ(setting(step.key), step.value);
    expectInvariants();
  }
  // The match pair is independent of the path pair.
  EXPECT_TRUE(w().selected(单选框_整个电脑));
  EXPECT_TRUE(w().selected(单选框_精确搜索));
}

TEST_F(Options, DisablingKeepsTheFolderInTheBox) {
  start();
  w().setContent(编辑框_搜索路径, "/home/用户/文档");
  click(单选框_整个电脑);
  EXPECT_EQ(w().content(编辑框_搜索路径), "/home/用户/文档");
  click(单选框_指定路径);
  EXPECT_EQ(w().content(编辑框_搜索路径), "/home/用户/文档");
  EXPECT_FALSE(w().disabled(编辑框_搜索路径));
}

TEST_F(Options, EveryKeystrokeInAPathBoxSavesTheWholeContent) {
  start();
  for (Id box : {编辑框_搜索路径, 编辑框_保存路径}) {
    const char* key = box == 编辑框_搜索路径 ? "搜索路径" : "保存路径";
    widget(box)->setFocus();
    std::string typed;
    for (char c : std::string("/tmp/ab")) {
      QTest::keyClick(widget(box), c);
      typed += c;
      ASSERT_EQ(setting(key), typed);
    }
    QTest::keyClick(widget(box), Qt::Key_Backspace);
    EXPECT_EQ(setting(key), "/tmp/a");
    w().setContent(box, "");
    EXPECT_EQ(setting(key), "");
  }
}

TEST_F(Options, FolderChoiceFillsTheBoxAndKeepsItOnCancel) {
  start();
  shell.folders = {std::string("/srv/共享/照片"), std::string("/"), std::string("/data/"),
                   std::nullopt};
  click(按钮_搜索路径);
  EXPECT_EQ(w().content(编辑框_搜索路径), "/srv/共享/照片");
  EXPECT_EQ(setting("搜索路径"), "/srv/共享/照片");
  click(按钮_保存路径);
  EXPECT_EQ(w().content(编辑框_保存路径), "/");  // the root stays the root
  EXPECT_EQ(setting("保存路径"), "/");
  click(按钮_保存路径);
  EXPECT_EQ(w().content(编辑框_保存路径), "/data");
  click(按钮_保存路径);  // cancelled
  EXPECT_EQ(w().content(编辑框_保存路径), "/data");
  EXPECT_EQ(setting("保存路径"), "/data");
  for (const auto& title : shell.folderTitles) EXPECT_EQ(title, "选择目录");
  EXPECT_EQ(shell.folderTitles.size(), 4u);
}

TEST_F(Options, HintLabelHidesOnPress) {
  start();
  ASSERT_TRUE(w().shown(透明标签1));
  QTest::mousePress(widget(透明标签1), Qt::LeftButton);
  EXPECT_FALSE(w().shown(透明标签1));
}

}  // namespace
}  // namespace quorvel::testing
