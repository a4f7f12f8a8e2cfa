// The main window's state, shared by its handler files. Window thread only, except Options,
// which workers read.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "form/form.hpp"
#include "search/match.hpp"
#include "search/search.hpp"
#include "settings/settings.hpp"
#include "ui/layout.hpp"
#include "ui/main_window.hpp"

namespace quorvel::ui {

// The options a running search reads, mirrored from the controls the moment they change, so a
// worker's read is current and never waits for the window thread.
class Options final : public search::LiveOptions {
 public:
  bool fuzzy() const override;
  bool searchOnly() const override;
  std::string saveFolder() const override;
  void update(bool fuzzy, bool searchOnly, std::string saveFolder);

 private:
  mutable std::mutex mutex_;
  bool fuzzy_ = false;
  bool searchOnly_ = false;
  std::string saveFolder_;
};

// What a search leaves behind for the actions on its rows.
struct SearchRecord {
  search::Mode mode = search::Mode::Exact;
  std::shared_ptr<search::Job> job;
};

// A long action on many rows. Copying or deleting runs on a thread of its own, so the window
// stays responsive; the rows it works on are taken at the click. The not-found report runs on
// the window thread instead, a slice of rows at a time.
struct Action {
  std::thread thread;
  std::atomic<bool> cancel{false};
  bool reporting = false;

  ~Action() {
    cancel = true;
    if (thread.joinable()) thread.join();
  }
};

struct MainWindow::State {
  State(form::Window& w, form::Shell& sh, Environment e);

  form::Window& window;
  form::Shell& shell;
  Environment env;
  settings::SettingsFile settings;
  std::shared_ptr<Options> options = std::make_shared<Options>();

  std::uint64_t generation = 0;  // of the search whose rows the list shows
  SearchRecord search;
  std::vector<std::shared_ptr<search::Job>> retired;  // cancelled, perhaps still ending
  std::unique_ptr<Action> action;                     // the action in progress, if any

  void showWholeComputer(bool whole);
  void showSearchOnly(bool searchOnly);
  void refreshOptions();
  void reapRetired();
  void reportCompletion(std::uint64_t failedCopies);

  // Handlers.
  void restore();
  void onSearch();
  void onTick();
  void onSearchFinished(std::uint64_t generation, std::uint64_t failedCopies);
  void chooseFolder(Id box);

  void onOpenFile();
  void onRightClick();
  void onCopyTo();
  void onDelete();
  void onOpenSaveFolder();
  void onReport();
};

}  // namespace quorvel::ui
