// The desktop's "open": xdg-open with a file: URL as its one argument. No shell sits in
// between, and the URL is percent-encoded, so no byte of a name is read as an option, a word
// or a command.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <thread>

#include "os/os.hpp"

extern char** environ;

namespace quorvel::os {

namespace {

// The opener lives as long as it likes; a detached thread collects its exit status so that no
// zombie is left behind, without the caller waiting.
void reapLater(pid_t pid) {
  try {
    std::thread([pid] {
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: reap now rather than leave a zombie.
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

}  // namespace

bool openWithDesktop(std::string_view path) {
  std::string url = fileUrl(path);
  if (url.empty()) return false;
  std::string program = "xdg-open";
  char* const argv[] = {program.data(), url.data(), nullptr};

  // The child starts with the default signal state, not with whatever the window thread or a
  // worker had blocked or ignored.
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return false;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGHUP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int error = ::posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  if (error != 0) return false;
  reapLater(pid);
  return true;
}

}  // namespace quorvel::os
