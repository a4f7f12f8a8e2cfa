// The result list under a flood: a worker posts a million rows (and a progress caption after
// every few) through the window-thread channel into the real list view while the window thread
// runs its event loop. Measures the longest stretch the window thread was busy (the gap between
// ticks of a 5 ms timer) and the memory each row costs beyond its path's bytes.
//
//   bench_list [rows]             the real window, fed through the channel
//   bench_list [rows] table|tree  a bare QTableView or QTreeView over the same model, fed on the
//                                 window thread in batches of the size the channel delivers,
//                                 to compare the two views
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "form/channel.hpp"
#include "form/qt/qt_runtime.hpp"
#include "form/qt/row_model.hpp"
#include "ui/layout.hpp"

namespace {

using namespace quorvel;

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Paths of 60 to 100 bytes, as a search of a photo archive lists them.
std::vector<std::string> makePaths(std::size_t count) {
  std::mt19937 random(42);
  const char* folders[] = {"/home/someone/pictures/", "/srv/archive/photos/", "/mnt/data/backup/",
                           "/home/someone/documents/scans/"};
  std::vector<std::string> paths;
  paths.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::string path = folders[random() % 4];
    path += std::to_string(2015 + random() % 10) + "/" + std::to_string(1 + random() % 12) + "/";
    const std::size_t target = 60 + random() % 41;
    while (path.size() + 22 < target) path += "sub" + std::to_string(random() % 100) + "/";
    path += std::to_string(200000000000000000ULL + random() % 800000000000000000ULL) + ".jpg";
    paths.push_back(std::move(path));
  }
  return paths;
}

// The window thread's longest busy stretch: how late a 5 ms tick comes.
struct GapMeter {
  QTimer timer;
  QElapsedTimer clock;
  qint64 last = 0;
  qint64 worst = 0;
  std::vector<qint64> gaps;
  void start() {
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      const qint64 now = clock.elapsed();
      gaps.push_back(now - last);
      worst = std::max(worst, now - last);
      last = now;
    });
    clock.start();
    timer.start(5);
  }
};

int runWindow(int rows, form::qt::Runtime& runtime) {
  const std::vector<std::string> paths = makePaths(static_cast<std::size_t>(rows));
  std::size_t pathBytes = 0;
  for (const auto& p : paths) pathBytes += p.size();

  auto window = runtime.createWindow(ui::mainWindowSpec());
  window->open();
  std::vector<std::size_t> batches;
  window->channel().setSinks(
      [&](std::uint64_t, form::RowBatch&& batch) {
        batches.push_back(batch.size());
        window->listAppend(ui::超级列表框1, std::move(batch));
      },
      [&](form::ControlId id, std::string_view text) { window->setCaption(id, text); });
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  const long before = residentBytes();

  GapMeter meter;
  meter.start();
  QElapsedTimer total;
  total.start();
  std::atomic<bool> done{false};
  int count = 0;
  std::thread producer([&] {
    for (int i = 0; i < rows; ++i) {
      window->channel().postRow(1, paths[static_cast<std::size_t>(i)], 0);
      if (i % 16 == 0) {
        window->channel().postCaption(ui::标签_状态,
                                      "正在搜索" + paths[static_cast<std::size_t>(i)]);
      }
    }
    window->channel().query([&] { count = window->listCount(ui::超级列表框1); });
    done = true;
  });
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done) QApplication::quit();
  });
  poll.start(10);
  QApplication::exec();
  producer.join();
  const qint64 elapsed = total.elapsed();
  // Paint the end of the list, as a user scrolling there would.
  auto* view = qobject_cast<QTableView*>(form::qt::widgetOf(*window, ui::超级列表框1));
  view->scrollToBottom();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  const long after = residentBytes();
  std::sort(batches.begin(), batches.end());
  std::printf(
      "view=window rows=%d listed=%d seconds=%.2f worst_busy_ms=%lld batches=%zu "
      "median_batch=%zu rowstore_overhead_per_row=%.1f rss_per_row_beyond_path=%.1f\n",
      rows, count, elapsed / 1000.0, static_cast<long long>(meter.worst), batches.size(),
      batches.empty() ? 0 : batches[batches.size() / 2],
      static_cast<double>(window->listRows(ui::超级列表框1).overheadBytes()) / rows,
      static_cast<double>(after - before - static_cast<long>(pathBytes)) / rows);
  return 0;
}

// The same model under a bare view, fed on the window thread, to compare the two views.
int runBare(int rows, bool tree) {
  const std::vector<std::string> paths = makePaths(static_cast<std::size_t>(rows));
  std::size_t pathBytes = 0;
  for (const auto& p : paths) pathBytes += p.size();

  QAbstractItemView* view = nullptr;
  if (tree) {
    auto* t = new QTreeView;
    t->setUniformRowHeights(true);
    t->setRootIsDecorated(false);
    t->setItemsExpandable(false);
    view = t;
  } else {
    auto* t = new QTableView;
    t->verticalHeader()->hide();
    t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    t->setShowGrid(false);
    view = t;
  }
  auto* model = new quorvel::form::qt::RowModel(QStringLiteral("path"), view);
  view->setModel(model);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->resize(475, 296);
  view->show();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  const long before = residentBytes();

  GapMeter meter;
  meter.start();
  QElapsedTimer total;
  total.start();
  constexpr int kBatch = 20000;  // about what one drain of the channel brings
  int next = 0;
  QTimer feed;
  QObject::connect(&feed, &QTimer::timeout, [&] {
    quorvel::form::RowBatch batch;
    for (int i = 0; i < kBatch && next < rows; ++i, ++next) {
      batch.add(paths[static_cast<std::size_t>(next)], 0);
    }
    model->append(batch);
    if (next >= rows) QApplication::quit();
  });
  feed.start(30);
  QApplication::exec();
  const qint64 elapsed = total.elapsed();
  view->scrollToBottom();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  const long after = residentBytes();
  std::printf("view=%s rows=%d seconds=%.2f worst_busy_ms=%lld rss_per_row_beyond_path=%.1f\n",
              tree ? "tree" : "table", rows, elapsed / 1000.0, static_cast<long long>(meter.worst),
              static_cast<double>(after - before - static_cast<long>(pathBytes)) / rows);
  delete view;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const std::string mode = argc > 2 ? argv[2] : "window";
  int qtArgc = 1;
  quorvel::form::qt::Runtime runtime(qtArgc, argv);
  if (mode == "window") return runWindow(rows, runtime);
  return runBare(rows, mode == "tree");
}
