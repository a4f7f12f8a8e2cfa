// The Qt 6 backend of the form runtime. Nothing outside src/form/qt includes Qt headers; this
// header keeps them out too, so the app and the tests of other layers stay toolkit-free.
#pragma once

#include <memory>

#include "form/form.hpp"

class QWidget;

namespace quorvel::form::qt {

class Runtime {
 public:
  // Creates the QApplication (unless one exists already) and sets the program-wide font.
  Runtime(int& argc, char** argv);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  std::unique_ptr<Window> createWindow(const WindowSpec& spec);
  // The real dialogs and the desktop's default applications.
  Shell& shell();
  // Runs the message loop until the main window has been closed.
  int run();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// For tests that drive the real widgets: the widget behind a control of a window created above
// (nullptr for the timer and the menu).
QWidget* widgetOf(Window& window, ControlId id);

}  // namespace quorvel::form::qt
