// The main window's behaviour: the settings restore, the option and path controls, the search
// request, completion and the progress timer, the result actions and the not-found report. Every
// function here is a handler of one event, run on the window thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "form/form.hpp"
#include "os/os.hpp"
#include "settings/settings.hpp"

namespace quorvel::ui {

// What the window needs from its surroundings; tests give temporary folders and fixed roots.
struct Environment {
  std::string programFolder;                   // config.ini and the report live here
  std::function<os::FixedRoots()> fixedRoots;  // the disks of a whole-computer search
};

class MainWindow {
 public:
  MainWindow(form::Window& window, form::Shell& shell, Environment env);
  ~MainWindow();  // the exit routine
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Stops every search and waits for its workers; nothing of a search is used after this.
  void stopSearches();

  struct State;  // the handlers' shared state (ui/state.hpp)

 private:
  std::unique_ptr<State> s_;
};

}  // namespace quorvel::ui
