// The Qt widgets behind the form runtime. Qt's own event habits differ from the runtime's rules
// (equal text raises nothing, radios group by parent, arrow keys move focus, a checked radio
// unchecks on click, Tab moves through item views by cell), so each control is wired by hand.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>
#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "form/channel.hpp"
#include "form/qt/qt_runtime.hpp"
#include "form/qt/qt_shell.hpp"
#include "form/qt/row_model.hpp"

// Outside any namespace, as Qt's resource initialiser needs.
static void initResources() {
  Q_INIT_RESOURCE(resources);
}

namespace quorvel::form::qt {
namespace {

// Rows and captions reach the window at most this often, each time for at most this long, so
// a flood of rows costs a few repaints a second and input stays answered.
constexpr int kDrainPeriodMs = 30;
constexpr std::chrono::milliseconds kDrainBudget{30};
// The font size that fits the 16 to 24 pixel high controls, Chinese captions included.
constexpr int kFontPixels = 12;

QString toQt(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string toBytes(const QString& s) {
  const QByteArray bytes = s.toUtf8();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Lines inside the widgets end in LF; the program's texts use CR LF.
QString linesToQt(std::string_view s) {
  return toQt(s).replace(QStringLiteral("\r\n"), "\n");
}
std::string linesToBytes(QString s) {
  return toBytes(s.replace('\n', QStringLiteral("\r\n")));
}

// A button caption is shown as given: '&' is not a mnemonic marker.
QString buttonText(std::string_view s) {
  return toQt(s).replace('&', QStringLiteral("&&"));
}
std::string buttonCaption(QString s) {
  return toBytes(s.replace(QStringLiteral("&&"), "&"));
}

}  // namespace

class QtWindow;

namespace {

class FormWidget final : public QWidget {
 public:
  FormWidget(std::function<void()> onFrameKnown, std::function<void()> onClosed)
      : onFrameKnown_(std::move(onFrameKnown)), onClosed_(std::move(onClosed)) {}

 protected:
  bool event(QEvent* e) override {
    const bool handled = QWidget::event(e);
    if (e->type() == QEvent::Close && e->isAccepted()) onClosed_();
    // A window manager reports the frame some time after the window is shown.
    if (e->type() == QEvent::Move || e->type() == QEvent::Resize || e->type() == QEvent::Show) {
      onFrameKnown_();
    }
    return handled;
  }

 private:
  std::function<void()> onFrameKnown_;
  std::function<void()> onClosed_;
};

class NamesBox final : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  // Pasted CR LF would otherwise keep its CR and show every line twice broken.
  void insertFromMimeData(const QMimeData* source) override {
    if (source == nullptr || !source->hasText()) return;
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), "\n");
    insertPlainText(text);
  }
};

class RadioButton final : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;
  RadioButton* partner = nullptr;

 protected:
  // A click on a selected radio keeps it selected (and still counts as a click).
  void nextCheckState() override { setChecked(true); }

  void keyPressEvent(QKeyEvent* e) override {
    switch (e->key()) {
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_Left:
      case Qt::Key_Right:
        // A pair has two radios: every arrow moves to the other one and selects it.
        if (partner != nullptr && partner->isEnabled() && !partner->isHidden()) {
          partner->setFocus(Qt::OtherFocusReason);
          partner->click();
        }
        e->accept();
        return;
      default:
        QRadioButton::keyPressEvent(e);
    }
  }
};

class HintLabel final : public QLabel {
 public:
  explicit HintLabel(QWidget* parent, std::function<void()> onPress)
      : QLabel(parent), onPress_(std::move(onPress)) {}

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) {
      e->accept();
      onPress_();
      return;
    }
    QLabel::mousePressEvent(e);
  }

 private:
  std::function<void()> onPress_;
};

class FrameBox final : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, width() - 1, height() - 1);
  }
};

class ResultView final : public QTableView {
 public:
  ResultView(QWidget* parent, std::function<void()> onDoubleClick,
             std::function<void()> onRightClick)
      : QTableView(parent),
        onDoubleClick_(std::move(onDoubleClick)),
        onRightClick_(std::move(onRightClick)) {}

 protected:
  // Raised on rows and on empty space alike; the first click has selected the row already.
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    QTableView::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton) onDoubleClick_();
  }

  // A right press selects an unselected row under it and otherwise leaves the selection alone,
  // so that the menu's action works on what the user had selected.
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::RightButton) {
      const QModelIndex index = indexAt(e->position().toPoint());
      if (!index.isValid() || selectionModel()->isSelected(index)) {
        setFocus(Qt::MouseFocusReason);
        e->accept();
        return;
      }
    }
    QTableView::mousePressEvent(e);
  }

  void mouseReleaseEvent(QMouseEvent* e) override {
    QTableView::mouseReleaseEvent(e);
    if (e->button() == Qt::RightButton && viewport()->rect().contains(e->position().toPoint())) {
      onRightClick_();
    }
  }

  bool viewportEvent(QEvent* e) override {
    if (e->type() != QEvent::ToolTip) return QTableView::viewportEvent(e);
    // The whole text, only for a row that does not fit its column.
    auto* help = static_cast<QHelpEvent*>(e);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid()) {
      const QString text = index.data().toString();
      const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
      if (fontMetrics().horizontalAdvance(text) + 2 * margin > columnWidth(0)) {
        QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        return true;
      }
    }
    QToolTip::hideText();
    e->ignore();
    return true;
  }

 private:
  std::function<void()> onDoubleClick_;
  std::function<void()> onRightClick_;
};

// Esc closes the window whichever of its controls has the focus, before the control sees it.
class EscapeFilter final : public QObject {
 public:
  explicit EscapeFilter(QWidget* window) : window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::ShortcutOverride) return false;
    if (static_cast<QKeyEvent*>(e)->key() != Qt::Key_Escape) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || window_ == nullptr || widget->window() != window_) return false;
    if (e->type() == QEvent::ShortcutOverride) {
      e->accept();  // keeps the key from becoming a shortcut elsewhere
      return true;
    }
    window_->close();
    return true;
  }

 private:
  QPointer<QWidget> window_;
};

}  // namespace

class QtWindow final : public Window {
 public:
  explicit QtWindow(const WindowSpec& spec);
  ~QtWindow() override;

  void on(ControlId id, Event event, std::function<void()> handler) override;
  void open() override;
  void close() override { top_->close(); }

  std::string content(ControlId id) const override;
  void setContent(ControlId id, std::string_view text) override;
  std::string caption(ControlId id) const override;
  void setCaption(ControlId id, std::string_view text) override;
  bool selected(ControlId id) const override { return checked(id); }
  void setSelected(ControlId id, bool on) override { setChecked(id, on); }
  bool ticked(ControlId id) const override { return checked(id); }
  void setTicked(ControlId id, bool on) override { setChecked(id, on); }
  bool disabled(ControlId id) const override;
  void setDisabled(ControlId id, bool disabled) override;
  bool shown(ControlId id) const override;
  void setShown(ControlId id, bool shown) override;
  int interval(ControlId id) const override { return control(id).interval; }
  void setInterval(ControlId id, int milliseconds) override;

  void listAppend(ControlId id, RowBatch&& rows) override { list(id).model->append(rows); }
  void listDeleteAll(ControlId id) override { list(id).model->clear(); }
  int listCount(ControlId id) const override { return list(id).model->rowCount(); }
  std::string listText(ControlId id, int row) const override;
  std::uint32_t listTag(ControlId id, int row) const override;
  bool listSelected(ControlId id, int row) const override;
  int listFirstSelected(ControlId id) const override;
  std::vector<int> listSelectedRows(ControlId id) const override;
  const RowStore& listRows(ControlId id) const override { return list(id).model->rows(); }

  void popupMenu(ControlId menu, Point screen) override;
  Point cursorPosition() const override;

  Channel& channel() override { return channel_; }

  QWidget* widget(ControlId id) const;

 private:
  struct Control {
    ControlSpec spec;
    QWidget* widget = nullptr;
    QTimer* timer = nullptr;
    int interval = 0;
    RowModel* model = nullptr;
    ResultView* view = nullptr;
    QMenu* menu = nullptr;
    QAction* action = nullptr;
  };

  void build(const ControlSpec& c);
  const Control& control(ControlId id) const;
  const Control& list(ControlId id) const;
  bool checked(ControlId id) const;
  void setChecked(ControlId id, bool on);
  void raise(ControlId id, Event event);
  void fitFrame();
  void postChosen(ControlId id);
  void wake();
  void scheduleDrain();
  void runDrain();

  WindowSpec spec_;
  std::unique_ptr<FormWidget> top_;
  std::unique_ptr<EscapeFilter> escape_;
  std::unordered_map<ControlId, Control> controls_;
  std::map<std::pair<ControlId, Event>, std::function<void()>> handlers_;
  bool opened_ = false;
  bool framePlaced_ = false;
  bool popupRunning_ = false;
  std::vector<ControlId> pendingChosen_;

  std::mutex wakeMutex_;  // wake() runs on worker threads while the window may be going away
  bool awake_ = true;
  QTimer drainTimer_;
  QElapsedTimer sinceDrain_;
  Channel channel_;
};

QtWindow::QtWindow(const WindowSpec& spec)
    : spec_(spec),
      // Once closed, workers waiting for an answer are let go and later posts are dropped.
      top_(std::make_unique<FormWidget>([this] { fitFrame(); }, [this] { channel_.shutdown(); })),
      channel_([this] { wake(); }) {
  top_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowCloseButtonHint);
  top_->setWindowTitle(toQt(spec.caption));
  top_->setFocusPolicy(Qt::NoFocus);
  QIcon icon;
  const QString iconPath = toQt(spec.iconResource);
  icon.addFile(iconPath, QSize(16, 16));
  icon.addFile(iconPath, QSize(32, 32));
  icon.addFile(iconPath, QSize(48, 48));
  top_->setWindowIcon(icon);
  QPalette palette = top_->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  top_->setPalette(palette);
  top_->setAutoFillBackground(true);
  // Without a frame yet, the client takes the whole outer size.
  top_->setFixedSize(std::max(spec.outerWidth, spec.minClientWidth),
                     std::max(spec.outerHeight, spec.minClientHeight));

  // Built bottom first, so that each new sibling lies above the ones before it.
  for (auto it = spec.controls.rbegin(); it != spec.controls.rend(); ++it) build(*it);
  for (auto it = spec.controls.rbegin(); it != spec.controls.rend(); ++it) {
    if (QWidget* w = controls_.at(it->id).widget) w->raise();
  }
  for (std::size_t i = 1; i < spec.tabOrder.size(); ++i) {
    QWidget::setTabOrder(widget(spec.tabOrder[i - 1]), widget(spec.tabOrder[i]));
  }

  // The popup menu: a hidden item whose one sub-item is shown.
  Control menu{ControlSpec{spec.menu.menu, Kind::Timer, kWindowId, {}, spec.menu.caption}};
  menu.menu = new QMenu(toQt(spec.menu.caption), top_.get());
  Control item{ControlSpec{spec.menu.item, Kind::Timer, spec.menu.menu, {}, spec.menu.itemCaption}};
  item.action = menu.menu->addAction(toQt(spec.menu.itemCaption));
  QObject::connect(item.action, &QAction::triggered, top_.get(), [this, id = spec.menu.item] {
    if (popupRunning_) {
      pendingChosen_.push_back(id);
    } else {
      postChosen(id);
    }
  });
  item.menu = menu.menu;
  controls_.emplace(spec.menu.menu, menu);
  controls_.emplace(spec.menu.item, item);

  escape_ = std::make_unique<EscapeFilter>(top_.get());
  qApp->installEventFilter(escape_.get());

  drainTimer_.setSingleShot(true);
  QObject::connect(&drainTimer_, &QTimer::timeout, top_.get(), [this] { runDrain(); });
  sinceDrain_.start();
}

QtWindow::~QtWindow() {
  channel_.shutdown();
  {
    std::lock_guard lock(wakeMutex_);
    awake_ = false;
  }
  qApp->removeEventFilter(escape_.get());
  drainTimer_.stop();
  handlers_.clear();
  top_.reset();
}

void QtWindow::build(const ControlSpec& c) {
  Control control{c};
  QWidget* parent = c.parent == kWindowId ? top_.get() : controls_.at(c.parent).widget;
  const ControlId id = c.id;
  switch (c.kind) {
    case Kind::Edit: {
      auto* edit = new QLineEdit(parent);
      edit->setText(toQt(c.caption));
      QObject::connect(edit, &QLineEdit::textChanged, edit,
                       [this, id] { raise(id, Event::ContentChanged); });
      control.widget = edit;
      break;
    }
    case Kind::MultiEdit: {
      auto* edit = new NamesBox(parent);
      edit->setLineWrapMode(QPlainTextEdit::NoWrap);
      edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      edit->setTabChangesFocus(true);
      edit->setPlainText(linesToQt(c.caption));
      QObject::connect(edit, &QPlainTextEdit::textChanged, edit,
                       [this, id] { raise(id, Event::ContentChanged); });
      control.widget = edit;
      break;
    }
    case Kind::Button: {
      auto* button = new QPushButton(buttonText(c.caption), parent);
      button->setAutoDefault(false);
      button->setDefault(false);
      QObject::connect(button, &QPushButton::clicked, button,
                       [this, id] { raise(id, Event::Clicked); });
      control.widget = button;
      break;
    }
    case Kind::CheckBox: {
      auto* box = new QCheckBox(buttonText(c.caption), parent);
      box->setChecked(c.on);
      // clicked comes after the flip, so the handler reads the new state.
      QObject::connect(box, &QCheckBox::clicked, box, [this, id] { raise(id, Event::Clicked); });
      control.widget = box;
      break;
    }
    case Kind::Radio: {
      auto* radio = new RadioButton(buttonText(c.caption), parent);
      radio->setAutoExclusive(false);
      radio->setChecked(c.on);
      // The other radio of the same frame, built already if it lies below this one.
      for (auto& [otherId, other] : controls_) {
        if (otherId != id && other.spec.kind == Kind::Radio && other.spec.parent == c.parent) {
          auto* partner = static_cast<RadioButton*>(other.widget);
          partner->partner = radio;
          radio->partner = partner;
        }
      }
      QObject::connect(radio, &QRadioButton::clicked, radio, [this, id, radio] {
        if (radio->partner != nullptr) radio->partner->setChecked(false);
        raise(id, Event::Clicked);
      });
      control.widget = radio;
      break;
    }
    case Kind::Label: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      label->setWordWrap(false);
      label->setText(toQt(c.caption));
      control.widget = label;
      break;
    }
    case Kind::HintLabel: {
      auto* label = new HintLabel(parent, [this, id] { raise(id, Event::LeftButtonDown); });
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(true);
      label->setAutoFillBackground(false);
      QPalette palette = label->palette();
      palette.setColor(QPalette::WindowText, QColor(192, 192, 192));
      label->setPalette(palette);
      label->setText(linesToQt(c.caption));
      control.widget = label;
      break;
    }
    case Kind::Frame:
      control.widget = new FrameBox(parent);
      break;
    case Kind::ListView: {
      auto* view = new ResultView(
          parent, [this, id] { raise(id, Event::DoubleClick); },
          [this, id] { raise(id, Event::RightClick); });
      auto* model = new RowModel(toQt(c.caption), view);
      view->setModel(model);
      view->setSelectionBehavior(QAbstractItemView::SelectRows);
      view->setSelectionMode(QAbstractItemView::ExtendedSelection);
      view->setEditTriggers(QAbstractItemView::NoEditTriggers);
      view->setTabKeyNavigation(false);
      view->setShowGrid(false);
      view->setWordWrap(false);
      view->setSortingEnabled(false);
      view->setCornerButtonEnabled(false);
      view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
      QHeaderView* rowsHeader = view->verticalHeader();
      rowsHeader->hide();
      rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
      rowsHeader->setDefaultSectionSize(view->fontMetrics().height() + 3);
      QHeaderView* header = view->horizontalHeader();
      header->setStretchLastSection(false);
      header->setSectionResizeMode(QHeaderView::Interactive);
      header->setHighlightSections(false);
      header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      header->setSectionsClickable(true);
      // A table view selects the whole column on a header press: here a header press changes
      // nothing.
      QObject::disconnect(header, &QHeaderView::sectionPressed, view, nullptr);
      QObject::disconnect(header, &QHeaderView::sectionEntered, view, nullptr);
      view->setColumnWidth(0, c.columnWidth);
      // The selection is not drawn while the list has no focus.
      QPalette palette = view->palette();
      palette.setColor(QPalette::Inactive, QPalette::Highlight,
                       palette.color(QPalette::Inactive, QPalette::Base));
      palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                       palette.color(QPalette::Inactive, QPalette::Text));
      view->setPalette(palette);
      control.widget = view;
      control.view = view;
      control.model = model;
      break;
    }
    case Kind::Timer: {
      control.timer = new QTimer(top_.get());
      QObject::connect(control.timer, &QTimer::timeout, top_.get(),
                       [this, id] { raise(id, Event::Tick); });
      break;
    }
  }
  if (control.widget != nullptr) {
    control.widget->setGeometry(c.rect.x, c.rect.y, c.rect.width, c.rect.height);
    control.widget->setFocusPolicy(c.tabStop ? Qt::StrongFocus : Qt::NoFocus);
    control.widget->setEnabled(!c.disabled);
  }
  controls_.emplace(id, control);
}

const QtWindow::Control& QtWindow::control(ControlId id) const {
  const auto it = controls_.find(id);
  if (it == controls_.end()) throw std::out_of_range("no control with this id");
  return it->second;
}

const QtWindow::Control& QtWindow::list(ControlId id) const {
  const Control& c = control(id);
  if (c.model == nullptr) throw std::invalid_argument("not a list view");
  return c;
}

QWidget* QtWindow::widget(ControlId id) const {
  if (id == kWindowId) return top_.get();
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.widget;
}

void QtWindow::on(ControlId id, Event event, std::function<void()> handler) {
  handlers_[{id, event}] = std::move(handler);
}

void QtWindow::raise(ControlId id, Event event) {
  const auto it = handlers_.find({id, event});
  if (it == handlers_.end() || !it->second) return;
  // A copy: the handler may register another one for its own event.
  const std::function<void()> handler = it->second;
  handler();
}

void QtWindow::open() {
  raise(kWindowId, Event::Created);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->geometry();
    top_->move(area.x() + (area.width() - spec_.outerWidth) / 2,
               area.y() + (area.height() - spec_.outerHeight) / 2);
  }
  opened_ = true;
  top_->show();
  fitFrame();
  top_->activateWindow();
}

// The outer size is fixed; the client area takes what the frame leaves, but never less than the
// controls need.
void QtWindow::fitFrame() {
  if (!opened_ || framePlaced_) return;
  const QSize frame = top_->frameGeometry().size() - top_->geometry().size();
  if (frame.isEmpty()) return;  // no frame (yet)
  framePlaced_ = true;
  const QSize client(std::max(spec_.outerWidth - frame.width(), spec_.minClientWidth),
                     std::max(spec_.outerHeight - frame.height(), spec_.minClientHeight));
  if (client != top_->size()) top_->setFixedSize(client);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    top_->move(area.x() + (area.width() - spec_.outerWidth) / 2,
               area.y() + (area.height() - spec_.outerHeight) / 2);
  }
}

std::string QtWindow::content(ControlId id) const {
  const Control& c = control(id);
  switch (c.spec.kind) {
    case Kind::Edit:
      return toBytes(static_cast<QLineEdit*>(c.widget)->text());
    case Kind::MultiEdit:
      return linesToBytes(static_cast<QPlainTextEdit*>(c.widget)->toPlainText());
    default:
      return caption(id);
  }
}

void QtWindow::setContent(ControlId id, std::string_view text) {
  const Control& c = control(id);
  switch (c.spec.kind) {
    case Kind::Edit: {
      auto* edit = static_cast<QLineEdit*>(c.widget);
      {
        const QSignalBlocker quiet(edit);
        edit->setText(toQt(text));
      }
      raise(id, Event::ContentChanged);  // once, changed or not
      break;
    }
    case Kind::MultiEdit: {
      auto* edit = static_cast<QPlainTextEdit*>(c.widget);
      {
        const QSignalBlocker quiet(edit);
        edit->setPlainText(linesToQt(text));
        // Written text reads as appended: the caret goes to its end and the box scrolls there.
        edit->moveCursor(QTextCursor::End);
      }
      raise(id, Event::ContentChanged);
      break;
    }
    default:
      setCaption(id, text);
  }
}

std::string QtWindow::caption(ControlId id) const {
  if (id == kWindowId) return toBytes(top_->windowTitle());
  const Control& c = control(id);
  if (c.action != nullptr) return toBytes(c.action->text());
  if (c.menu != nullptr) return toBytes(c.menu->title());
  switch (c.spec.kind) {
    case Kind::Edit:
    case Kind::MultiEdit:
      return content(id);
    case Kind::Button:
    case Kind::CheckBox:
    case Kind::Radio:
      return buttonCaption(static_cast<QAbstractButton*>(c.widget)->text());
    case Kind::Label:
      return toBytes(static_cast<QLabel*>(c.widget)->text());
    case Kind::HintLabel:
      return linesToBytes(static_cast<QLabel*>(c.widget)->text());
    default:
      return {};
  }
}

void QtWindow::setCaption(ControlId id, std::string_view text) {
  if (id == kWindowId) {
    top_->setWindowTitle(toQt(text));
    return;
  }
  const Control& c = control(id);
  if (c.action != nullptr) {
    c.action->setText(toQt(text));
    return;
  }
  if (c.menu != nullptr) {
    c.menu->setTitle(toQt(text));
    return;
  }
  switch (c.spec.kind) {
    case Kind::Edit: {
      auto* edit = static_cast<QLineEdit*>(c.widget);
      const QSignalBlocker quiet(edit);
      edit->setText(toQt(text));
      break;
    }
    case Kind::MultiEdit: {
      auto* edit = static_cast<QPlainTextEdit*>(c.widget);
      const QSignalBlocker quiet(edit);
      edit->setPlainText(linesToQt(text));
      break;
    }
    case Kind::Button:
    case Kind::CheckBox:
    case Kind::Radio:
      static_cast<QAbstractButton*>(c.widget)->setText(buttonText(text));
      break;
    case Kind::Label:
      static_cast<QLabel*>(c.widget)->setText(toQt(text));
      break;
    case Kind::HintLabel:
      static_cast<QLabel*>(c.widget)->setText(linesToQt(text));
      break;
    default:
      break;
  }
}

bool QtWindow::checked(ControlId id) const {
  const Control& c = control(id);
  auto* button = qobject_cast<QAbstractButton*>(c.widget);
  return button != nullptr && button->isCheckable() && button->isChecked();
}

// Writes only this control: no partner cleared, no signal that raises an event.
void QtWindow::setChecked(ControlId id, bool on) {
  const Control& c = control(id);
  if (c.spec.kind != Kind::Radio && c.spec.kind != Kind::CheckBox) return;
  static_cast<QAbstractButton*>(c.widget)->setChecked(on);
}

bool QtWindow::disabled(ControlId id) const {
  if (id == kWindowId) return !top_->isEnabled();
  const Control& c = control(id);
  if (c.widget != nullptr) return !c.widget->isEnabled();
  if (c.action != nullptr) return !c.action->isEnabled();
  return false;
}

void QtWindow::setDisabled(ControlId id, bool disabled) {
  if (id == kWindowId) {
    top_->setEnabled(!disabled);
    return;
  }
  const Control& c = control(id);
  if (c.widget != nullptr) c.widget->setEnabled(!disabled);
  if (c.action != nullptr) c.action->setEnabled(!disabled);
}

bool QtWindow::shown(ControlId id) const {
  if (id == kWindowId) return top_->isVisible();
  const Control& c = control(id);
  return c.widget != nullptr && !c.widget->isHidden();
}

void QtWindow::setShown(ControlId id, bool shown) {
  if (id == kWindowId) {
    top_->setVisible(shown);
    return;
  }
  const Control& c = control(id);
  if (c.widget != nullptr) c.widget->setVisible(shown);
}

void QtWindow::setInterval(ControlId id, int milliseconds) {
  auto it = controls_.find(id);
  if (it == controls_.end() || it->second.timer == nullptr) {
    throw std::invalid_argument("not a timer");
  }
  Control& c = it->second;
  const int interval = std::max(milliseconds, 0);
  if (interval == c.interval) return;  // the count goes on
  c.interval = interval;
  if (interval == 0) {
    c.timer->stop();
  } else {
    c.timer->start(interval);
  }
}

std::string QtWindow::listText(ControlId id, int row) const {
  const RowStore& rows = list(id).model->rows();
  if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return {};
  return std::string(rows.text(static_cast<std::size_t>(row)));
}

std::uint32_t QtWindow::listTag(ControlId id, int row) const {
  const RowStore& rows = list(id).model->rows();
  if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return 0;
  return rows.tag(static_cast<std::size_t>(row));
}

bool QtWindow::listSelected(ControlId id, int row) const {
  const Control& c = list(id);
  if (row < 0 || row >= c.model->rowCount()) return false;
  return c.view->selectionModel()->isSelected(c.model->index(row, 0));
}

int QtWindow::listFirstSelected(ControlId id) const {
  const Control& c = list(id);
  int first = -1;
  for (const QItemSelectionRange& range : c.view->selectionModel()->selection()) {
    if (first < 0 || range.top() < first) first = range.top();
  }
  return first;
}

std::vector<int> QtWindow::listSelectedRows(ControlId id) const {
  const Control& c = list(id);
  std::vector<int> rows;
  for (const QItemSelectionRange& range : c.view->selectionModel()->selection()) {
    for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void QtWindow::popupMenu(ControlId menu, Point screen) {
  const Control& c = control(menu);
  if (c.menu == nullptr) throw std::invalid_argument("not a menu");
  // An item may be triggered by the user's pick or by the program while the popup runs; its
  // event waits until the popup has closed and the handler that popped it up has returned.
  popupRunning_ = true;
  c.menu->exec(QPoint(screen.x, screen.y));
  popupRunning_ = false;
  for (ControlId id : std::exchange(pendingChosen_, {})) postChosen(id);
}

void QtWindow::postChosen(ControlId id) {
  QMetaObject::invokeMethod(
      top_.get(), [this, id] { raise(id, Event::Chosen); }, Qt::QueuedConnection);
}

Point QtWindow::cursorPosition() const {
  const QPoint p = QCursor::pos();
  return Point{p.x(), p.y()};
}

void QtWindow::wake() {
  std::lock_guard lock(wakeMutex_);
  if (!awake_) return;
  QMetaObject::invokeMethod(
      top_.get(), [this] { scheduleDrain(); }, Qt::QueuedConnection);
}

void QtWindow::scheduleDrain() {
  if (drainTimer_.isActive()) return;
  const qint64 since = sinceDrain_.elapsed();
  drainTimer_.start(since >= kDrainPeriodMs ? 0 : static_cast<int>(kDrainPeriodMs - since));
}

void QtWindow::runDrain() {
  const bool more = channel_.drain(kDrainBudget);
  sinceDrain_.restart();
  // The rest after input and painting have had their turn.
  if (more) drainTimer_.start(1);
}

struct Runtime::Impl {
  std::unique_ptr<QApplication> app;
  std::unique_ptr<Shell> shell;
  QTranslator qtTexts;
};

Runtime::Runtime(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
  initResources();
  if (QApplication::instance() == nullptr) impl_->app = std::make_unique<QApplication>(argc, argv);
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(kFontPixels);
  QApplication::setFont(font);
  // The program speaks Chinese whatever the desktop's language: Qt's own dialogs and buttons too.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  if (impl_->qtTexts.load(QLocale(), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(&impl_->qtTexts);
  impl_->shell = makeShell();
}

Runtime::~Runtime() = default;

std::unique_ptr<Window> Runtime::createWindow(const WindowSpec& spec) {
  return std::make_unique<QtWindow>(spec);
}

Shell& Runtime::shell() {
  return *impl_->shell;
}

int Runtime::run() {
  return QApplication::exec();
}

QWidget* widgetOf(Window& window, ControlId id) {
  auto* qtWindow = dynamic_cast<QtWindow*>(&window);
  return qtWindow == nullptr ? nullptr : qtWindow->widget(id);
}

}  // namespace quorvel::form::qt
