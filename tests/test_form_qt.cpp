// The Qt backend on the real widgets offscreen, built from the main window's real table.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <thread>

#include "form/channel.hpp"
#include "form/qt/qt_runtime.hpp"
#include "ui/layout.hpp"

namespace quorvel::form {
namespace {

using namespace ui;
using Raised = std::pair<ControlId, Event>;

constexpr Event kEvents[] = {Event::Created,        Event::Clicked,     Event::ContentChanged,
                             Event::LeftButtonDown, Event::DoubleClick, Event::RightClick,
                             Event::Chosen,         Event::Tick};

qt::Runtime& runtime() {
  static int argc = 1;
  static char name[] = "test_form_qt";
  static char* argv[] = {name, nullptr};
  static auto* instance = new qt::Runtime(argc, argv);
  return *instance;
}

class FormQt : public ::testing::Test {
 protected:
  void SetUp() override { start(); }
  void TearDown() override { window.reset(); }

  void start() {
    window = runtime().createWindow(mainWindowSpec());
    raised.clear();
    for (const ControlSpec& c : mainWindowSpec().controls) {
      for (Event e : kEvents) {
        window->on(c.id, e, [this, id = c.id, e] { raised.emplace_back(id, e); });
      }
    }
    window->on(文件复制到, Event::Chosen,
               [this] { raised.emplace_back(文件复制到, Event::Chosen); });
    window->on(kWindowId, Event::Created, [this] {
      raised.emplace_back(kWindowId, Event::Created);
      visibleAtCreated = top()->isVisible();
    });
    window->open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top()));
    raised.clear();
  }

  QWidget* w(ControlId id) { return qt::widgetOf(*window, id); }
  QWidget* top() { return w(kWindowId); }
  template <typename T>
  T* as(ControlId id) {
    return qobject_cast<T*>(w(id));
  }
  QTableView* list() { return as<QTableView>(超级列表框1); }
  QPoint rowCenter(int row) { return list()->visualRect(list()->model()->index(row, 0)).center(); }
  void appendRows(std::initializer_list<std::string_view> texts) {
    RowBatch batch;
    std::uint32_t tag = 100;
    for (std::string_view t : texts) batch.add(t, tag++);
    window->listAppend(超级列表框1, std::move(batch));
  }

  std::unique_ptr<Window> window;
  std::vector<Raised> raised;
  bool visibleAtCreated = true;
};

TEST_F(FormQt, CreatedIsRaisedOnceBeforeTheWindowShows) {
  window.reset();
  start();  // records into a fresh log until the window is up; start() clears it afterwards
  EXPECT_FALSE(visibleAtCreated);
}

TEST_F(FormQt, WindowGeometryFlagsAndIcon) {
  QWidget* t = top();
  // Offscreen has no frame: the client takes the whole outer size, more than the controls need.
  EXPECT_EQ(t->frameGeometry().size(), QSize(760, 507));
  EXPECT_GE(t->width(), 752);
  EXPECT_GE(t->height(), 472);
  EXPECT_EQ(t->minimumSize(), t->maximumSize());  // not resizable
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(t->frameGeometry().topLeft(),
            QPoint((screen.width() - 760) / 2, (screen.height() - 507) / 2));
  const Qt::WindowFlags flags = t->windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(window->caption(kWindowId), kCaption);
  const QIcon icon = t->windowIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_FALSE(icon.pixmap(16, 16).isNull());
  EXPECT_FALSE(icon.pixmap(32, 32).isNull());
  EXPECT_EQ(t->palette().color(QPalette::Window), t->palette().color(QPalette::Button));

  struct Placed {
    ControlId id;
    ControlId parent;
    QRect rect;
  };
  const Placed placed[] = {
      {编辑框_文件名, kWindowId, {6, 119, 266, 297}},
      {超级列表框1, kWindowId, {277, 120, 475, 296}},
      {透明标签1, kWindowId, {11, 125, 240, 272}},
      {单选框_模糊搜索, 外形框2, {8, 27, 576, 16}},
      {单选框_指定路径, 外形框1, {175, 5, 145, 24}},
      {按钮_删除原始路径文件, kWindowId, {437, 424, 211, 30}},
  };
  for (const Placed& p : placed) {
    EXPECT_EQ(w(p.id)->geometry(), p.rect) << p.id;
    EXPECT_EQ(w(p.id)->parentWidget(), w(p.parent)) << p.id;
  }
  EXPECT_EQ(w(单选框_模糊搜索)->mapTo(t, QPoint(0, 0)), QPoint(16, 96));
  EXPECT_EQ(w(时钟1), nullptr);
}

TEST_F(FormQt, ZOrderFollowsTheTableTopmostFirst) {
  // Among siblings, children() runs from the bottom to the top.
  const QObjectList siblings = top()->children();
  int previous = siblings.size();
  for (const ControlSpec& c : mainWindowSpec().controls) {
    if (c.parent != kWindowId || c.kind == Kind::Timer) continue;
    const int at = siblings.indexOf(w(c.id));
    ASSERT_GE(at, 0) << c.id;
    EXPECT_LT(at, previous) << c.id;
    previous = at;
  }
  // The hint receives presses over the names box; the strip it leaves free is the box's.
  EXPECT_EQ(top()->childAt(QPoint(100, 200)), w(透明标签1));
  QWidget* strip = top()->childAt(QPoint(258, 200));
  EXPECT_TRUE(strip == w(编辑框_文件名) || w(编辑框_文件名)->isAncestorOf(strip));
}

TEST_F(FormQt, CaptionsFitTheirControls) {
  for (const ControlSpec& c : mainWindowSpec().controls) {
    if (c.kind != Kind::Label && c.kind != Kind::Radio && c.kind != Kind::CheckBox &&
        c.kind != Kind::Button) {
      continue;
    }
    QWidget* widget = w(c.id);
    const QFontMetrics metrics(widget->font());
    EXPECT_LE(metrics.height(), c.rect.height) << c.id;
    // Room beside a box's indicator or inside a button's bevel.
    const int room =
        c.kind == Kind::Label ? c.rect.width : c.rect.width - (c.kind == Kind::Button ? 8 : 20);
    EXPECT_LE(metrics.horizontalAdvance(
                  QString::fromUtf8(c.caption.data(), static_cast<int>(c.caption.size()))),
              room)
        << c.id;
  }
}

// Writes from the program: none raises an event, and a radio's write leaves its partner alone.
TEST_F(FormQt, PropertyWritesRaiseNothing) {
  const std::vector<std::pair<const char*, std::function<void()>>> writes = {
      {"select fuzzy", [&] { window->setSelected(单选框_模糊搜索, true); }},
      {"clear exact", [&] { window->setSelected(单选框_精确搜索, false); }},
      {"select whole", [&] { window->setSelected(单选框_整个电脑, true); }},
      {"tick", [&] { window->setTicked(选择框_只搜索不复制, true); }},
      {"untick", [&] { window->setTicked(选择框_只搜索不复制, false); }},
      {"disable", [&] { window->setDisabled(编辑框_保存路径, true); }},
      {"enable", [&] { window->setDisabled(编辑框_保存路径, false); }},
      {"hide", [&] { window->setShown(透明标签1, false); }},
      {"show", [&] { window->setShown(透明标签1, true); }},
      {"status", [&] { window->setCaption(标签_状态, "正在搜索，请稍后..."); }},
      {"button caption", [&] { window->setCaption(按钮_立即搜索, "A&B"); }},
      {"interval", [&] { window->setInterval(时钟1, 0); }},
  };
  for (const auto& [name, write] : writes) {
    write();
    QApplication::processEvents();
    EXPECT_TRUE(raised.empty()) << name;
    raised.clear();
  }
  EXPECT_TRUE(window->selected(单选框_模糊搜索));
  EXPECT_FALSE(window->selected(单选框_精确搜索));
  EXPECT_TRUE(window->selected(单选框_整个电脑));
  EXPECT_TRUE(window->selected(单选框_指定路径));  // partner untouched
  EXPECT_EQ(window->caption(标签_状态), "正在搜索，请稍后...");
  EXPECT_EQ(window->caption(按钮_立即搜索), "A&B");
  EXPECT_EQ(as<QPushButton>(按钮_立即搜索)->text(), "A&&B");
}

TEST_F(FormQt, SetContentRaisesOnceAlsoForEqualText) {
  for (ControlId id : {编辑框_搜索路径, 编辑框_保存路径, 编辑框_文件名}) {
    raised.clear();
    window->setContent(id, "/data/照片");
    window->setContent(id, "/data/照片");
    window->setContent(id, "");
    window->setContent(id, "");
    EXPECT_EQ(raised, std::vector<Raised>(4, {id, Event::ContentChanged})) << id;
    window->setContent(id, "/srv/\xe4\xb8\xad");
    EXPECT_EQ(window->content(id), "/srv/\xe4\xb8\xad");
  }
}

TEST_F(FormQt, UserEditsRaisePerChange) {
  auto* edit = as<QLineEdit>(编辑框_保存路径);
  edit->setFocus();
  QTest::keyClicks(edit, "abc");
  EXPECT_EQ(raised, std::vector<Raised>(3, {编辑框_保存路径, Event::ContentChanged}));
  EXPECT_EQ(window->content(编辑框_保存路径), "abc");
  raised.clear();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);  // select all
  QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);  // cut
  EXPECT_EQ(window->content(编辑框_保存路径), "");
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);  // paste
  EXPECT_EQ(window->content(编辑框_保存路径), "abc");
  QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);  // undo
  EXPECT_EQ(raised, std::vector<Raised>(3, {编辑框_保存路径, Event::ContentChanged}));
  // Keys that change nothing raise nothing.
  raised.clear();
  edit->setText("");
  raised.clear();
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_TRUE(raised.empty());
}

TEST_F(FormQt, RadioClickClearsItsPartnerFirstAndReclickStillRaises) {
  std::vector<std::string> seen;
  for (ControlId id : {单选框_精确搜索, 单选框_模糊搜索, 单选框_整个电脑, 单选框_指定路径}) {
    window->on(id, Event::Clicked, [&, id] {
      seen.push_back(std::to_string(id) + ":" + (window->selected(单选框_精确搜索) ? "E" : "e") +
                     (window->selected(单选框_模糊搜索) ? "F" : "f") +
                     (window->selected(单选框_整个电脑) ? "W" : "w") +
                     (window->selected(单选框_指定路径) ? "G" : "g"));
    });
  }
  QTest::mouseClick(w(单选框_模糊搜索), Qt::LeftButton);
  QTest::mouseClick(w(单选框_模糊搜索), Qt::LeftButton);  // already selected: stays, raises again
  QTest::mouseClick(w(单选框_精确搜索), Qt::LeftButton);
  QTest::mouseClick(w(单选框_整个电脑), Qt::LeftButton);
  const std::string fuzzy = std::to_string(单选框_模糊搜索);
  EXPECT_EQ(seen, (std::vector<std::string>{fuzzy + ":eFwG", fuzzy + ":eFwG",
                                            std::to_string(单选框_精确搜索) + ":EfwG",
                                            std::to_string(单选框_整个电脑) + ":EfWg"}));
  // Space selects as well.
  seen.clear();
  w(单选框_指定路径)->setFocus();
  QTest::keyClick(w(单选框_指定路径), Qt::Key_Space);
  EXPECT_EQ(seen, (std::vector<std::string>{std::to_string(单选框_指定路径) + ":EfwG"}));
}

TEST_F(FormQt, ArrowKeysMoveThroughAPairAndSelect) {
  w(单选框_精确搜索)->setFocus();
  struct Step {
    Qt::Key key;
    ControlId expectSelected;
  };
  const Step steps[] = {{Qt::Key_Down, 单选框_模糊搜索},
                        {Qt::Key_Down, 单选框_精确搜索},
                        {Qt::Key_Right, 单选框_模糊搜索},
                        {Qt::Key_Up, 单选框_精确搜索},
                        {Qt::Key_Left, 单选框_模糊搜索}};
  for (const Step& s : steps) {
    raised.clear();
    QTest::keyClick(QApplication::focusWidget(), s.key);
    EXPECT_EQ(QApplication::focusWidget(), w(s.expectSelected));
    EXPECT_TRUE(window->selected(s.expectSelected));
    const ControlId other = s.expectSelected == 单选框_模糊搜索 ? 单选框_精确搜索 : 单选框_模糊搜索;
    EXPECT_FALSE(window->selected(other));
    EXPECT_EQ(raised, (std::vector<Raised>{{s.expectSelected, Event::Clicked}}));
  }
  EXPECT_TRUE(window->selected(单选框_指定路径));  // the other frame is its own group
}

TEST_F(FormQt, CheckBoxFlipsBeforeClicked) {
  std::vector<bool> seen;
  window->on(选择框_只搜索不复制, Event::Clicked,
             [&] { seen.push_back(window->ticked(选择框_只搜索不复制)); });
  QTest::mouseClick(w(选择框_只搜索不复制), Qt::LeftButton);
  QTest::mouseClick(w(选择框_只搜索不复制), Qt::LeftButton);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST_F(FormQt, ButtonsAnswerClickAndSpaceButNotEnter) {
  auto* button = as<QPushButton>(按钮_立即搜索);
  EXPECT_FALSE(button->isDefault());
  EXPECT_FALSE(button->autoDefault());
  QTest::mouseClick(button, Qt::LeftButton);
  button->setFocus();
  QTest::keyClick(button, Qt::Key_Space);
  QTest::keyClick(button, Qt::Key_Return);
  QTest::keyClick(button, Qt::Key_Enter);
  EXPECT_EQ(raised, std::vector<Raised>(2, {按钮_立即搜索, Event::Clicked}));
  // Disabled buttons answer nothing.
  raised.clear();
  QTest::mouseClick(w(按钮_未搜索到文件), Qt::LeftButton);
  EXPECT_TRUE(raised.empty());
}

TEST_F(FormQt, TabFollowsTheOrderAndSkipsDisabledControls) {
  const auto& order = mainWindowSpec().tabOrder;
  auto expectNext = [&](bool resultButtonsEnabled) {
    std::vector<ControlId> stops;
    for (ControlId id : order) {
      const bool result =
          id == 按钮_查看搜索保存结果 || id == 按钮_未搜索到文件 || id == 按钮_删除原始路径文件;
      if (!result || resultButtonsEnabled) stops.push_back(id);
    }
    for (std::size_t i = 0; i < stops.size(); ++i) {
      w(stops[i])->setFocus(Qt::TabFocusReason);
      ASSERT_EQ(QApplication::focusWidget(), w(stops[i])) << stops[i];
      QTest::keyClick(w(stops[i]), Qt::Key_Tab);
      EXPECT_EQ(QApplication::focusWidget(), w(stops[(i + 1) % stops.size()]))
          << "from " << stops[i];
    }
  };
  expectNext(false);
  for (ControlId id : {按钮_查看搜索保存结果, 按钮_未搜索到文件, 按钮_删除原始路径文件}) {
    window->setDisabled(id, false);
  }
  expectNext(true);
  for (ControlId id : {标签_状态, 标签1, 外形框1, 透明标签1}) {
    EXPECT_EQ(w(id)->focusPolicy(), Qt::NoFocus) << id;
  }
  EXPECT_TRUE(raised.empty());
}

TEST_F(FormQt, NamesBoxTakesEnterAsANewLineAndNeverATab) {
  auto* names = as<QPlainTextEdit>(编辑框_文件名);
  names->setFocus();
  QTest::keyClicks(names, "a");
  QTest::keyClick(names, Qt::Key_Return);
  QTest::keyClicks(names, "b");
  EXPECT_EQ(window->content(编辑框_文件名), "a\r\nb");
  names->setFocus();
  QTest::keyClick(names, Qt::Key_Tab);
  EXPECT_EQ(window->content(编辑框_文件名), "a\r\nb");
  EXPECT_EQ(QApplication::focusWidget(), w(编辑框_搜索路径));
  EXPECT_EQ(names->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(raised, std::vector<Raised>(3, {编辑框_文件名, Event::ContentChanged}));
}

TEST_F(FormQt, NamesBoxKeepsCrLfLinesAndPastesThemWithoutExtraLines) {
  const std::string text = "a.jpg\r\n\r\nb\xe4\xb8\xad\r\nlast\r\n";
  window->setContent(编辑框_文件名, text);
  EXPECT_EQ(window->content(编辑框_文件名), text);
  EXPECT_EQ(as<QPlainTextEdit>(编辑框_文件名)->blockCount(), 5);

  window->setContent(编辑框_文件名, "");
  raised.clear();
  QApplication::clipboard()->setText(QStringLiteral("x\r\ny\r\nz"));
  auto* names = as<QPlainTextEdit>(编辑框_文件名);
  names->setFocus();
  QTest::keyClick(names, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(window->content(编辑框_文件名), "x\r\ny\r\nz");
  EXPECT_EQ(names->blockCount(), 3);
  EXPECT_FALSE(raised.empty());

  // A big list of names goes in and comes out whole.
  std::string big;
  for (int i = 0; i < 10000; ++i) big += "2023011509301" + std::to_string(10000 + i) + ".jpg\r\n";
  window->setContent(编辑框_文件名, big);
  EXPECT_EQ(window->content(编辑框_文件名), big);
}

TEST_F(FormQt, EscClosesTheWindowFromAnyControl) {
  for (ControlId id :
       std::initializer_list<ControlId>{编辑框_文件名, 编辑框_搜索路径, 按钮_立即搜索, 超级列表框1,
                                        单选框_模糊搜索, kWindowId}) {
    window.reset();
    start();
    if (id != kWindowId) {
      w(id)->setFocus();
      ASSERT_EQ(QApplication::focusWidget(), w(id)) << id;
    }
    QWidget* target = id == kWindowId ? top() : w(id);
    QTest::keyClick(target, Qt::Key_Escape);
    EXPECT_FALSE(top()->isVisible()) << id;
    // Closed: a worker waiting for an answer is let go.
    bool answered = true;
    std::thread worker([&] { answered = window->channel().query([] {}); });
    worker.join();
    EXPECT_FALSE(answered) << id;
  }
}

TEST_F(FormQt, HintLabelIsGreyTransparentAndTakesLeftPresses) {
  auto* hint = as<QLabel>(透明标签1);
  EXPECT_EQ(hint->palette().color(QPalette::WindowText), QColor(192, 192, 192));
  EXPECT_FALSE(hint->autoFillBackground());
  EXPECT_TRUE(hint->wordWrap());
  EXPECT_EQ(hint->text().count('\n'), 6);
  EXPECT_EQ(window->caption(透明标签1), kHintText);
  QWidget* focused = QApplication::focusWidget();
  QTest::mousePress(hint, Qt::RightButton);
  QTest::mouseRelease(hint, Qt::RightButton);
  QTest::mousePress(hint, Qt::LeftButton);
  QTest::mouseRelease(hint, Qt::LeftButton);
  EXPECT_EQ(raised, (std::vector<Raised>{{透明标签1, Event::LeftButtonDown}}));
  EXPECT_EQ(QApplication::focusWidget(), focused);
}

TEST_F(FormQt, TimerIntervalRules) {
  const QList<QTimer*> timers = top()->findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
  ASSERT_EQ(timers.size(), 1);
  QTimer* timer = timers.front();
  EXPECT_FALSE(timer->isActive());
  EXPECT_EQ(window->interval(时钟1), 0);

  window->setInterval(时钟1, 1000);
  EXPECT_TRUE(timer->isActive());
  QTest::qWait(300);
  window->setInterval(时钟1, 1000);  // the same again: the count goes on
  EXPECT_LE(timer->remainingTime(), 800);
  window->setInterval(时钟1, 2000);  // another: restarts
  EXPECT_GT(timer->remainingTime(), 1500);
  EXPECT_EQ(window->interval(时钟1), 2000);
  window->setInterval(时钟1, -5);
  EXPECT_FALSE(timer->isActive());
  EXPECT_EQ(window->interval(时钟1), 0);

  window->setInterval(时钟1, 20);
  QTest::qWait(200);
  window->setInterval(时钟1, 0);
  const auto ticks = std::count(raised.begin(), raised.end(), Raised{时钟1, Event::Tick});
  EXPECT_GE(ticks, 2);
  QTest::qWait(100);
  EXPECT_EQ(std::count(raised.begin(), raised.end(), Raised{时钟1, Event::Tick}), ticks);
}

TEST_F(FormQt, ListKeepsBytesAndSelectsWithCtrlAndShift) {
  EXPECT_EQ(window->listFirstSelected(超级列表框1), -1);
  EXPECT_FALSE(list()->currentIndex().isValid());
  appendRows({"/a/0.jpg", "/a/\xff\xfe.jpg", "/a/2.jpg", "/a/3.jpg", "/a/4.jpg"});
  EXPECT_EQ(window->listCount(超级列表框1), 5);
  EXPECT_EQ(window->listText(超级列表框1, 1), "/a/\xff\xfe.jpg");
  EXPECT_EQ(window->listTag(超级列表框1, 4), 104u);
  EXPECT_EQ(window->listText(超级列表框1, -1), "");
  EXPECT_EQ(window->listText(超级列表框1, 5), "");
  EXPECT_EQ(list()->model()->index(1, 0).data().toString(), QString::fromUtf8("/a/\xff\xfe.jpg"));

  struct Click {
    int row;
    Qt::KeyboardModifiers modifiers;
    std::vector<int> selected;
  };
  const Click clicks[] = {
      {1, Qt::NoModifier, {1}},
      {3, Qt::ShiftModifier, {1, 2, 3}},
      {0, Qt::ControlModifier, {0, 1, 2, 3}},
      {2, Qt::ControlModifier, {0, 1, 3}},
      {4, Qt::NoModifier, {4}},
  };
  for (const Click& c : clicks) {
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, c.modifiers, rowCenter(c.row));
    EXPECT_EQ(window->listSelectedRows(超级列表框1), c.selected) << c.row;
    EXPECT_EQ(window->listFirstSelected(超级列表框1), c.selected.front()) << c.row;
    for (int row = 0; row < 5; ++row) {
      const bool expected =
          std::find(c.selected.begin(), c.selected.end(), row) != c.selected.end();
      EXPECT_EQ(window->listSelected(超级列表框1, row), expected) << c.row << " " << row;
    }
  }
  EXPECT_TRUE(raised.empty());

  // The column header can be clicked; nothing changes.
  QHeaderView* header = list()->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(20, header->height() / 2));
  EXPECT_EQ(window->listSelectedRows(超级列表框1), std::vector<int>{4});
  EXPECT_EQ(window->listText(超级列表框1, 0), "/a/0.jpg");
  EXPECT_EQ(header->sectionSize(0), 600);
  EXPECT_FALSE(list()->isSortingEnabled());
  EXPECT_TRUE(raised.empty());

  window->listDeleteAll(超级列表框1);
  EXPECT_EQ(window->listCount(超级列表框1), 0);
  EXPECT_EQ(window->listFirstSelected(超级列表框1), -1);
  EXPECT_TRUE(window->listSelectedRows(超级列表框1).empty());
}

TEST_F(FormQt, DoubleAndRightClicksAlsoOnEmptySpace) {
  appendRows({"/a/0.jpg", "/a/1.jpg"});
  int selectedAtDoubleClick = -2;
  window->on(超级列表框1, Event::DoubleClick, [&] {
    raised.emplace_back(超级列表框1, Event::DoubleClick);
    selectedAtDoubleClick = window->listFirstSelected(超级列表框1);
  });
  QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, rowCenter(1));
  EXPECT_EQ(selectedAtDoubleClick, 1);
  const QPoint empty(30, list()->viewport()->height() - 5);
  ASSERT_FALSE(list()->indexAt(empty).isValid());
  QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, empty);
  // A right-click keeps the selection, except that it selects an unselected row under it.
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowCenter(1));
  QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, empty);
  EXPECT_EQ(window->listSelectedRows(超级列表框1), std::vector<int>{1});
  QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, rowCenter(0));
  EXPECT_EQ(window->listSelectedRows(超级列表框1), std::vector<int>{0});
  EXPECT_EQ(raised, (std::vector<Raised>{{超级列表框1, Event::DoubleClick},
                                         {超级列表框1, Event::DoubleClick},
                                         {超级列表框1, Event::RightClick},
                                         {超级列表框1, Event::RightClick}}));
}

TEST_F(FormQt, ChosenComesAfterThePopupHandlerReturned) {
  std::vector<std::string> order;
  window->on(文件复制到, Event::Chosen, [&] { order.push_back("chosen"); });
  auto pick = [](Qt::Key last) {
    QTimer::singleShot(0, [last] {
      QWidget* popup = QApplication::activePopupWidget();
      ASSERT_NE(qobject_cast<QMenu*>(popup), nullptr);
      QTest::keyClick(popup, Qt::Key_Down);
      QTest::keyClick(popup, last);
    });
  };
  window->on(超级列表框1, Event::RightClick, [&] {
    order.push_back("popup");
    window->popupMenu(菜单, window->cursorPosition());
    order.push_back("returned");
  });
  pick(Qt::Key_Return);
  QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, QPoint(30, 30));
  EXPECT_EQ(order, (std::vector<std::string>{"popup", "returned"}));
  QApplication::processEvents();
  EXPECT_EQ(order, (std::vector<std::string>{"popup", "returned", "chosen"}));

  // Esc in the popup closes the popup only; nothing is chosen.
  order.clear();
  pick(Qt::Key_Escape);
  QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, QPoint(30, 30));
  QApplication::processEvents();
  EXPECT_EQ(order, (std::vector<std::string>{"popup", "returned"}));
  EXPECT_TRUE(top()->isVisible());
  EXPECT_EQ(window->caption(文件复制到), "文件复制到");

  // Triggered by the program while the popup runs: the same order.
  order.clear();
  QTimer::singleShot(0, [] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    menu->actions().first()->trigger();
    QApplication::processEvents();  // the nested loop must not deliver it yet
    menu->close();
  });
  QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, QPoint(30, 30));
  EXPECT_EQ(order, (std::vector<std::string>{"popup", "returned"}));
  QApplication::processEvents();
  EXPECT_EQ(order, (std::vector<std::string>{"popup", "returned", "chosen"}));
}

// Workers reach the list and the status line through the channel while the window runs.
TEST_F(FormQt, ChannelFeedsTheListFromAWorker) {
  window->channel().setSinks(
      [&](std::uint64_t, RowBatch&& rows) { window->listAppend(超级列表框1, std::move(rows)); },
      [&](ControlId id, std::string_view text) { window->setCaption(id, text); });
  constexpr int kRows = 5000;
  int countAtEnd = -1;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < kRows; ++i) {
      window->channel().postRow(1, "/data/" + std::to_string(i) + ".jpg", 0);
      window->channel().postCaption(标签_状态, "n" + std::to_string(i));
    }
    window->channel().query([&] { countAtEnd = window->listCount(超级列表框1); });
    done = true;
  });
  while (!done) QTest::qWait(5);
  worker.join();
  EXPECT_EQ(countAtEnd, kRows);
  EXPECT_EQ(window->caption(标签_状态), "n" + std::to_string(kRows - 1));
  EXPECT_EQ(window->listText(超级列表框1, kRows - 1), "/data/4999.jpg");
}

}  // namespace
}  // namespace quorvel::form
