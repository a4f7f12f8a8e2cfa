// Shared fixture for the tests that drive the real main window offscreen: a temporary program
// folder, the Qt runtime, and a shell seam whose dialogs the test answers.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "form/channel.hpp"
#include "form/qt/qt_runtime.hpp"
#include "ui/layout.hpp"
#include "ui/main_window.hpp"

namespace quorvel::testing {

namespace fs = std::filesystem;

inline form::qt::Runtime& runtime() {
  static int argc = 1;
  static char name[] = "quorvel-test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: Qt's own statics go first at exit, and a QApplication outliving them crashes.
  static auto* instance = new form::qt::Runtime(argc, argv);
  return *instance;
}

struct TempDir {
  fs::path path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "quorvel-XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
  }
  std::string str() const { return path.string(); }
  std::string operator/(std::string_view name) const { return (path / name).string(); }
};

inline void writeBytes(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::optional<std::string> readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The dialogs and the desktop, answered by the test.
struct TestShell final : form::Shell {
  struct Message {
    std::string text, title;
  };
  std::vector<Message> messages;
  std::vector<std::string> confirms;  // texts asked
  form::Answer confirmAnswer = form::Answer::Ok;
  std::deque<std::optional<std::string>> folders;  // answers, in order; none left: cancel
  std::vector<std::string> folderTitles;
  std::vector<std::string> opened;

  void message(std::string_view text, std::string_view title) override {
    messages.push_back({std::string(text), std::string(title)});
  }
  form::Answer confirm(std::string_view text, std::string_view) override {
    confirms.emplace_back(text);
    return confirmAnswer;
  }
  std::optional<std::string> chooseFolder(std::string_view title) override {
    folderTitles.emplace_back(title);
    if (folders.empty()) return std::nullopt;
    auto answer = folders.front();
    folders.pop_front();
    return answer;
  }
  void open(std::string_view path) override { opened.emplace_back(path); }
};

// Keeps the event loop going until pred holds or the time is up.
inline bool waitUntil(const std::function<bool()>& pred,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(5);
  }
  return true;
}

class MainWindowTest : public ::testing::Test {
 protected:
  TempDir program;
  TestShell shell;
  std::vector<std::string> roots;  // of a whole-computer search
  std::unique_ptr<form::Window> window;
  std::unique_ptr<ui::MainWindow> main;

  std::string iniPath() const { return program / "config.ini"; }

  void start() {
    runtime();
    window = runtime().createWindow(ui::mainWindowSpec());
    ui::Environment env;
    env.programFolder = program.str();
    env.fixedRoots = [this] {
      os::FixedRoots r;
      r.roots = roots;
      return r;
    };
    main = std::make_unique<ui::MainWindow>(*window, shell, env);
    window->open();
  }
  void TearDown() override {
    main.reset();
    window.reset();
  }

  form::Window& w() { return *window; }
  QWidget* widget(form::ControlId id) { return form::qt::widgetOf(*window, id); }
  void click(form::ControlId id) { QTest::mouseClick(widget(id), Qt::LeftButton); }

  std::string caption() { return w().caption(ui::标签_状态); }
  bool searchDone() { return caption().starts_with("搜索完毕！"); }
  void search() {
    click(ui::按钮_立即搜索);
    ASSERT_TRUE(waitUntil([this] { return searchDone(); })) << caption();
  }
  std::vector<std::string> rows() {
    std::vector<std::string> out;
    for (int i = 0; i < w().listCount(ui::超级列表框1); ++i)
      out.push_back(w().listText(ui::超级列表框1, i));
    return out;
  }
};

}  // namespace quorvel::testing
