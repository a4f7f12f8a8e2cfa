#include "ui/main_window.hpp"

#include <chrono>
#include <string_view>
#include <utility>

#include "form/channel.hpp"
#include "text/text.hpp"
#include "ui/state.hpp"

namespace quorvel::ui {

namespace {

constexpr std::string_view kTrue = "真";
constexpr std::string_view kFalse = "假";
constexpr std::string_view kInfoTitle = "信息：";

constexpr std::string_view kKeySearchPath = "搜索路径";
constexpr std::string_view kKeySavePath = "保存路径";
constexpr std::string_view kKeyWholeComputer = "全盘搜索";
constexpr std::string_view kKeySearchOnly = "复制";  // "真": the search-only box is ticked
constexpr std::string_view kKeyExact = "精确";

constexpr int kWholeComputerTickMs = 2000;

// Results of one search reach the window through the channel; rows carry the search's number so
// that rows of a superseded search still in flight are dropped.
class WindowSink final : public search::Sink {
 public:
  WindowSink(MainWindow::State& state, std::uint64_t generation)
      : state_(state), channel_(state.window.channel()), generation_(generation) {}

  void row(std::string_view path, std::uint32_t tag) override {
    channel_.postRow(generation_, path, tag);
  }
  void progress(std::string text) override { channel_.postCaption(标签_状态, std::move(text)); }
  void finished(std::uint64_t failedCopies) override {
    auto& state = state_;
    const auto generation = generation_;
    channel_.post(
        [&state, generation, failedCopies] { state.onSearchFinished(generation, failedCopies); });
  }

 private:
  MainWindow::State& state_;
  form::Channel& channel_;
  std::uint64_t generation_;
};

}  // namespace

// ---- Options -------------------------------------------------------------------------------

bool Options::fuzzy() const {
  std::lock_guard lock(mutex_);
  return fuzzy_;
}
bool Options::searchOnly() const {
  std::lock_guard lock(mutex_);
  return searchOnly_;
}
std::string Options::saveFolder() const {
  std::lock_guard lock(mutex_);
  return saveFolder_;
}
void Options::update(bool fuzzy, bool searchOnly, std::string saveFolder) {
  std::lock_guard lock(mutex_);
  fuzzy_ = fuzzy;
  searchOnly_ = searchOnly;
  saveFolder_ = std::move(saveFolder);
}

// ---- State ---------------------------------------------------------------------------------

MainWindow::State::State(form::Window& w, form::Shell& sh, Environment e)
    : window(w),
      shell(sh),
      env(std::move(e)),
      settings(os::joinPath(env.programFolder, "config.ini")) {}

void MainWindow::State::refreshOptions() {
  options->update(window.selected(单选框_模糊搜索), window.ticked(选择框_只搜索不复制),
                  window.content(编辑框_保存路径));
}

void MainWindow::State::reapRetired() {
  std::erase_if(retired, [](const std::shared_ptr<search::Job>& job) { return !job->running(); });
}

void MainWindow::State::reportCompletion(std::uint64_t failedCopies) {
  std::string text = "搜索完毕！共搜索到文件";
  text += std::to_string(window.listCount(超级列表框1));
  text += "个.";
  if (failedCopies > 0) {
    text += "其中";
    text += std::to_string(failedCopies);
    text += "个复制失败。";
  }
  window.setCaption(标签_状态, text);
  window.setDisabled(按钮_查看搜索保存结果, false);
  window.setDisabled(按钮_未搜索到文件, false);
  window.setDisabled(按钮_删除原始路径文件, false);
}

// Both radios of the path pair set explicitly, and the search path controls disabled exactly
// when the whole computer is searched.
void MainWindow::State::showWholeComputer(bool whole) {
  window.setSelected(单选框_整个电脑, whole);
  window.setSelected(单选框_指定路径, !whole);
  window.setDisabled(编辑框_搜索路径, whole);
  window.setDisabled(按钮_搜索路径, whole);
}

// The save path controls are disabled exactly when nothing is copied.
void MainWindow::State::showSearchOnly(bool searchOnly) {
  window.setDisabled(编辑框_保存路径, searchOnly);
  window.setDisabled(按钮_保存路径, searchOnly);
}

// ---- Settings restore ----------------------------------------------------------------------

void MainWindow::State::restore() {
  // A content write raises the box's content-changed handler, which saves the same value back.
  if (auto path = settings.read(kKeySearchPath); !path.empty())
    window.setContent(编辑框_搜索路径, path);
  if (auto path = settings.read(kKeySavePath); !path.empty())
    window.setContent(编辑框_保存路径, path);

  showWholeComputer(settings.read(kKeyWholeComputer) == kTrue);
  const bool searchOnly = settings.read(kKeySearchOnly) == kTrue;
  window.setTicked(选择框_只搜索不复制, searchOnly);
  showSearchOnly(searchOnly);

  const bool fuzzy = settings.read(kKeyExact) == kFalse;
  window.setSelected(单选框_模糊搜索, fuzzy);
  window.setSelected(单选框_精确搜索, !fuzzy);
  refreshOptions();
}

// ---- Folder choice -------------------------------------------------------------------------

void MainWindow::State::chooseFolder(Id box) {
  auto chosen = shell.chooseFolder("选择目录");
  // Cancelling keeps the folder the box already holds.
  if (!chosen) return;
  std::string path = std::move(*chosen);
  // A drive root comes back with its separator; the file-system root "/" is kept as it is.
  if (path.size() > 1 && path.back() == os::kPathSeparator) path.pop_back();
  window.setContent(box, path);
}

// ---- Search request ------------------------------------------------------------------------

void MainWindow::State::onSearch() {
  const bool given = window.selected(单选框_指定路径);
  if (given && window.content(编辑框_搜索路径).empty()) {
    shell.message("您选择的是按指定路径搜索，请指定搜索路径后再搜索！", kInfoTitle);
    return;
  }
  if (!window.ticked(选择框_只搜索不复制) && window.content(编辑框_保存路径).empty()) {
    shell.message("请指定文件保存路径后再执行搜索！", kInfoTitle);
    return;
  }

  // Keep the non-blank lines, each ending in CR LF, and search for exactly those.
  std::string cleaned;
  {
    const auto lines = text::splitCrLf(window.content(编辑框_文件名));
    for (const auto& line : lines) {
      if (text::isBlankLine(line)) continue;
      cleaned += line;
      cleaned += "\r\n";
    }
  }
  window.setContent(编辑框_文件名, cleaned);
  auto names = text::splitCrLf(window.content(编辑框_文件名));
  if (names.empty()) {
    shell.message("您没有输入任何要搜索的文件名！请输入后再执行搜索！", kInfoTitle);
    return;
  }

  // The earlier search stops; rows of it still on their way are dropped by the new number.
  if (search.job) {
    search.job->cancel();
    retired.push_back(std::move(search.job));
  }
  reapRetired();
  ++generation;

  window.setCaption(标签_状态, "正在搜索，请稍后...");
  window.setInterval(时钟1, given ? 0 : kWholeComputerTickMs);
  window.listDeleteAll(超级列表框1);

  search::Request request;
  if (window.selected(单选框_整个电脑)) {
    auto fixed = env.fixedRoots ? env.fixedRoots() : os::fixedRoots();
    request.roots = std::move(fixed.roots);
    request.excluded = std::move(fixed.mountPoints);
  } else {
    request.roots = text::splitCrLf(window.content(编辑框_搜索路径));
  }
  request.names = std::move(names);

  refreshOptions();
  search.mode = options->fuzzy() ? search::Mode::Fuzzy : search::Mode::Exact;
  search.job = std::make_shared<search::Job>(std::move(request), options,
                                             std::make_shared<WindowSink>(*this, generation));
  search.job->start();
}

void MainWindow::State::onSearchFinished(std::uint64_t gen, std::uint64_t failedCopies) {
  if (gen != generation) return;
  // The radio is read when the walk has ended, as the worker would.
  if (window.selected(单选框_指定路径)) reportCompletion(failedCopies);
}

// A whole-computer search is over when none of its workers still runs; the tick reports it, and
// goes on reporting it with the count of the moment.
void MainWindow::State::onTick() {
  const bool over = !search.job || !search.job->running();
  if (!over) return;
  while (window.channel().drain()) {
  }
  reportCompletion(search.job ? search.job->failedCopies() : 0);
}

// ---- MainWindow ----------------------------------------------------------------------------

MainWindow::MainWindow(form::Window& window, form::Shell& shell, Environment env)
    : s_(std::make_unique<State>(window, shell, std::move(env))) {
  State& s = *s_;
  auto& w = window;

  w.channel().setSinks(
      [&s](std::uint64_t stream, form::RowBatch&& rows) {
        if (stream == s.generation) s.window.listAppend(超级列表框1, std::move(rows));
      },
      [&s](form::ControlId id, std::string_view caption) { s.window.setCaption(id, caption); });

  w.on(form::kWindowId, form::Event::Created, [&s] { s.restore(); });

  for (const bool whole : {true, false}) {
    w.on(whole ? 单选框_整个电脑 : 单选框_指定路径, form::Event::Clicked, [&s, whole] {
      s.showWholeComputer(whole);
      s.settings.write(kKeyWholeComputer, whole ? kTrue : kFalse);
    });
  }
  w.on(单选框_精确搜索, form::Event::Clicked, [&s] {
    s.settings.write(kKeyExact, kTrue);
    s.refreshOptions();
  });
  w.on(单选框_模糊搜索, form::Event::Clicked, [&s] {
    s.settings.write(kKeyExact, kFalse);
    s.refreshOptions();
  });
  w.on(选择框_只搜索不复制, form::Event::Clicked, [&s] {
    const bool ticked = s.window.ticked(选择框_只搜索不复制);
    s.settings.write(kKeySearchOnly, ticked ? kTrue : kFalse);
    s.showSearchOnly(ticked);
    s.refreshOptions();
  });
  w.on(编辑框_搜索路径, form::Event::ContentChanged,
       [&s] { s.settings.write(kKeySearchPath, s.window.content(编辑框_搜索路径)); });
  w.on(编辑框_保存路径, form::Event::ContentChanged, [&s] {
    s.settings.write(kKeySavePath, s.window.content(编辑框_保存路径));
    s.refreshOptions();
  });
  w.on(按钮_搜索路径, form::Event::Clicked, [&s] { s.chooseFolder(编辑框_搜索路径); });
  w.on(按钮_保存路径, form::Event::Clicked, [&s] { s.chooseFolder(编辑框_保存路径); });
  w.on(透明标签1, form::Event::LeftButtonDown, [&s] { s.window.setShown(透明标签1, false); });

  w.on(按钮_立即搜索, form::Event::Clicked, [&s] { s.onSearch(); });
  w.on(时钟1, form::Event::Tick, [&s] { s.onTick(); });

  w.on(超级列表框1, form::Event::DoubleClick, [&s] { s.onOpenFile(); });
  w.on(超级列表框1, form::Event::RightClick, [&s] { s.onRightClick(); });
  w.on(文件复制到, form::Event::Chosen, [&s] { s.onCopyTo(); });
  w.on(按钮_删除原始路径文件, form::Event::Clicked, [&s] { s.onDelete(); });
  w.on(按钮_查看搜索保存结果, form::Event::Clicked, [&s] { s.onOpenSaveFolder(); });
  w.on(按钮_未搜索到文件, form::Event::Clicked, [&s] { s.onReport(); });
}

MainWindow::~MainWindow() {
  stopSearches();
  s_->window.channel().shutdown();
}

void MainWindow::stopSearches() {
  if (s_->search.job) s_->search.job->cancel();
  for (auto& job : s_->retired) job->cancel();
  if (s_->search.job) s_->search.job->join();
  for (auto& job : s_->retired) job->join();
  s_->retired.clear();
}

}  // namespace quorvel::ui
