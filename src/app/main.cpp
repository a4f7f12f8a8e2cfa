// Quorvel's entry: start the form runtime, build the main window from its description, restore
// the last choices, run until the window is closed, then stop every search before anything it
// reads goes away. The command line is not read.
#include "form/qt/qt_runtime.hpp"
#include "os/os.hpp"
#include "ui/layout.hpp"
#include "ui/main_window.hpp"

int main(int argc, char** argv) {
  using namespace quorvel;
  form::qt::Runtime runtime(argc, argv);
  auto window = runtime.createWindow(ui::mainWindowSpec());
  {
    ui::MainWindow main(*window, runtime.shell(), ui::Environment{os::programFolder(), {}});
    window->open();
    runtime.run();
  }  // the exit routine: searches stopped and joined, then the program-wide state released
  return 0;
}
