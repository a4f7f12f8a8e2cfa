// The actions on the result rows and the not-found report.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "form/channel.hpp"
#include "os/os.hpp"
#include "search/match.hpp"
#include "text/text.hpp"
#include "ui/report.hpp"
#include "ui/state.hpp"

namespace quorvel::ui {

namespace {

constexpr auto kProgressEvery = std::chrono::milliseconds(100);
constexpr std::string_view kReportName = "未搜到文件列表.txt";

std::string_view fileNameOf(std::string_view path) {
  return text::fileNameOf(path, os::kPathSeparator);
}

// Progress in the status line at most every kProgressEvery.
class Progress {
 public:
  Progress(form::Channel& channel, std::string what, std::size_t total)
      : channel_(channel), what_(std::move(what)), total_(total) {}
  void step(std::size_t done) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kProgressEvery) return;
    last_ = now;
    channel_.postCaption(标签_状态, what_ + std::to_string(done) + "/" + std::to_string(total_));
  }

 private:
  form::Channel& channel_;
  std::string what_;
  std::size_t total_;
  std::chrono::steady_clock::time_point last_{};
};

bool busy(const std::unique_ptr<Action>& action) {
  return action && (action->reporting || action->thread.joinable());
}

}  // namespace

void MainWindow::State::onOpenFile() {
  const int row = window.listFirstSelected(超级列表框1);
  if (row < 0) return;
  shell.open(window.listText(超级列表框1, row));
}

void MainWindow::State::onRightClick() {
  const auto at = window.cursorPosition();
  window.popupMenu(菜单, {at.x + 3, at.y + 3});
}

void MainWindow::State::onOpenSaveFolder() {
  const auto folder = window.content(编辑框_保存路径);
  if (folder.empty()) return;
  shell.open(folder);
}

// ---- Copy the selected files to a folder ----------------------------------------------------

void MainWindow::State::onCopyTo() {
  if (busy(action)) return;
  auto folder = shell.chooseFolder("复制文件到");
  if (!folder || folder->empty()) return;

  std::vector<std::string> paths;
  for (int row : window.listSelectedRows(超级列表框1))
    paths.push_back(window.listText(超级列表框1, row));
  if (paths.empty()) return;

  action = std::make_unique<Action>();
  auto& task = *action;
  auto& channel = window.channel();
  task.thread = std::thread([this, &task, &channel, folder = std::move(*folder),
                             paths = std::move(paths)] {
    Progress progress(channel, "正在复制文件 ", paths.size());
    std::size_t copied = 0, failed = 0;
    for (std::size_t i = 0; i < paths.size() && !task.cancel; ++i) {
      progress.step(i);
      const auto& source = paths[i];
      if (!os::stampOf(source)) continue;  // gone since the search
      switch (os::copyReplacing(source, os::joinPath(folder, fileNameOf(source)), &task.cancel)) {
        case os::CopyResult::Copied:
          ++copied;
          break;
        case os::CopyResult::SameFile:
          break;
        case os::CopyResult::Failed:
          ++failed;
          break;
      }
    }
    std::string done = "已复制" + std::to_string(copied) + "个文件到" + folder + "。";
    if (failed > 0) done += "其中" + std::to_string(failed) + "个复制失败。";
    channel.postCaption(标签_状态, std::move(done));
    channel.post([this] {
      if (action && action->thread.joinable()) action->thread.join();
      action.reset();
    });
  });
}

// ---- Delete the found originals ------------------------------------------------------------

namespace {

struct DeleteCounts {
  std::size_t deleted = 0;
  std::size_t noCopy = 0;  // kept: no copy of its own stands in the save folder
  std::size_t isCopy = 0;  // kept: the row is itself the save folder's copy
  std::size_t failed = 0;  // the deletion itself failed
};

// Whether deleting path could destroy the last copy of its file.
bool ownCopyStands(const std::string& source, const std::string& target) {
  const auto src = os::stampOf(source);
  const auto dst = os::stampOf(target);
  if (!src || !dst || !dst->regular) return false;
  if (src->device == dst->device && src->inode == dst->inode) return false;
  if (src->link) {
    // The row is a link: the copy holds its target's content, and removing the link loses
    // nothing of it.
    return true;
  }
  return src->size == dst->size && src->modifiedNs == dst->modifiedNs;
}

std::string deleteMessage(const DeleteCounts& c) {
  std::string text = "原始文件删除完毕！";
  if (c.noCopy + c.isCopy > 0) {
    text += "\n有" + std::to_string(c.noCopy + c.isCopy) + "个文件未删除：";
    if (c.noCopy > 0) {
      text +=
          std::to_string(c.noCopy) + "个在保存路径中没有它自己的副本（复制失败或被同名文件覆盖）";
      if (c.isCopy > 0) text += "；";
    }
    if (c.isCopy > 0) text += std::to_string(c.isCopy) + "个本身就是保存路径中的副本";
    text += "。";
  }
  if (c.failed > 0) text += "\n有" + std::to_string(c.failed) + "个文件删除失败。";
  return text;
}

}  // namespace

void MainWindow::State::onDelete() {
  if (busy(action)) return;
  if (shell.confirm("您确定要删除原始路径文件吗？删除后无法恢复，请慎重！", "删除原始文件") !=
      form::Answer::Ok)
    return;

  struct Item {
    std::string path;
    std::uint32_t tag;
  };
  std::vector<Item> items;
  const int n = window.listCount(超级列表框1);
  items.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    items.push_back({window.listText(超级列表框1, i), window.listTag(超级列表框1, i)});
  std::vector<std::string> saveFolders;
  if (search.job) saveFolders = search.job->saveFolders();

  action = std::make_unique<Action>();
  auto& task = *action;
  auto& channel = window.channel();
  task.thread = std::thread(
      [this, &task, &channel, items = std::move(items), saveFolders = std::move(saveFolders)] {
        auto targetOf = [&](const Item& item) -> std::string {
          const auto index = search::tagSaveFolder(item.tag);
          if (index >= saveFolders.size()) return {};
          return os::joinPath(saveFolders[index], fileNameOf(item.path));
        };
        // A later same-named copy replaced the earlier ones: only the last row owns its target.
        std::unordered_map<std::string, std::size_t> owner;
        for (std::size_t i = 0; i < items.size(); ++i)
          if (search::tagOutcome(items[i].tag) == search::RowOutcome::Copied)
            owner[targetOf(items[i])] = i;

        Progress progress(channel, "正在删除文件 ", items.size());
        DeleteCounts counts;
        for (std::size_t i = 0; i < items.size() && !task.cancel; ++i) {
          progress.step(i);
          const auto& item = items[i];
          const auto stamp = os::stampOf(item.path);
          if (!stamp || stamp->folder) continue;  // gone, or not a file: never touched
          switch (search::tagOutcome(item.tag)) {
            case search::RowOutcome::NotCopied:
              break;
            case search::RowOutcome::CopyFailed:
              ++counts.noCopy;
              continue;
            case search::RowOutcome::IsItsCopy:
              ++counts.isCopy;
              continue;
            case search::RowOutcome::Copied: {
              const auto target = targetOf(item);
              if (target.empty() || owner[target] != i || !ownCopyStands(item.path, target)) {
                // The same file reached through the save folder's own path is the copy itself.
                const auto dst = os::stampOf(target);
                if (dst && dst->device == stamp->device && dst->inode == stamp->inode)
                  ++counts.isCopy;
                else
                  ++counts.noCopy;
                continue;
              }
              break;
            }
          }
          if (os::removeFile(item.path))
            ++counts.deleted;
          else
            ++counts.failed;
        }
        channel.post([this, counts] {
          if (action && action->thread.joinable()) action->thread.join();
          action.reset();
          window.setCaption(标签_状态, "已删除" + std::to_string(counts.deleted) + "个原始文件。");
          shell.message(deleteMessage(counts), "信息提示！");
        });
      });
}

// ---- The not-found report ------------------------------------------------------------------

namespace {

// Feeds the rows to the report a slice at a time on the window thread: the rows are the list's
// own, and a million of them must not hold the window up.
struct ReportTask : std::enable_shared_from_this<ReportTask> {
  ReportTask(MainWindow::State& s, std::vector<std::string> lines, search::Mode mode, int rows)
      : state(s), notFound(std::move(lines), mode), count(rows) {}

  void run() {
    const auto& rows = state.window.listRows(超级列表框1);
    // Rows appended after the click are not part of this report; an emptied list ends it.
    const int end = std::min(count, static_cast<int>(rows.size()));
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    while (next < end && std::chrono::steady_clock::now() < until)
      for (const int stop = std::min(end, next + 4096); next < stop; ++next)
        notFound.addRow(rows.text(static_cast<std::size_t>(next)));
    if (next < end) {
      state.window.channel().post([self = shared_from_this()] { self->run(); });
      return;
    }
    const auto path = os::joinPath(state.env.programFolder, kReportName);
    os::writeFileAtomic(path, notFound.report());
    state.action.reset();
    state.shell.open(path);
  }

  MainWindow::State& state;
  NotFound notFound;
  int count;
  int next = 0;
};

}  // namespace

void MainWindow::State::onReport() {
  if (busy(action)) return;
  action = std::make_unique<Action>();
  action->reporting = true;
  auto task = std::make_shared<ReportTask>(*this, text::splitCrLf(window.content(编辑框_文件名)),
                                           search.mode, window.listCount(超级列表框1));
  task->run();
}

}  // namespace quorvel::ui
