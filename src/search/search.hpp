// The batch search, knowing no window: walks roots on worker threads, matches, copies, and
// reports rows, progress and completion to a sink. Options are read live, at each use.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvel::search {

namespace detail {
struct SearchState;  // shared by a job and its workers (walker.hpp)
}

// The options a search reads while it runs; answered from a thread-safe snapshot of the
// controls, so a change applies from the next read on.
class LiveOptions {
 public:
  virtual ~LiveOptions() = default;
  virtual bool fuzzy() const = 0;
  virtual bool searchOnly() const = 0;
  virtual std::string saveFolder() const = 0;
};

// What happened to a row's file, kept with the row (its tag) for the actions that follow.
enum class RowOutcome : std::uint32_t {
  NotCopied = 0,   // search-only: no copy was attempted
  Copied = 1,      // a copy now stands in the save folder
  CopyFailed = 2,  // the copy failed; the original is the only one
  IsItsCopy = 3,   // the file is itself the save folder's copy (save folder inside the tree)
};
// A tag is the outcome in its low two bits and the index of the save folder used (see
// Job::saveFolders) above them.
inline std::uint32_t makeTag(RowOutcome outcome, std::uint32_t saveFolderIndex) {
  return static_cast<std::uint32_t>(outcome) | (saveFolderIndex << 2);
}
inline RowOutcome tagOutcome(std::uint32_t tag) {
  return static_cast<RowOutcome>(tag & 3u);
}
inline std::uint32_t tagSaveFolder(std::uint32_t tag) {
  return tag >> 2;
}

// Where a search's results go. Called from worker threads.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void row(std::string_view path, std::uint32_t tag) = 0;
  // The progress text after a folder's names (coalesced: a person sees only the last).
  virtual void progress(std::string text) = 0;
  // The last worker of the search has ended (not called for a cancelled search).
  virtual void finished(std::uint64_t failedCopies) = 0;
};

struct Request {
  std::vector<std::string> names;
  std::vector<std::string> roots;
  // Folders a walk never enters (the other file systems, in a whole-computer search).
  std::vector<std::string> excluded;
};

// One search: owns its names and roots, so nothing a worker reads goes away under it.
class Job {
 public:
  Job(Request request, std::shared_ptr<const LiveOptions> options, std::shared_ptr<Sink> sink);
  ~Job();  // cancels and joins
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  void start();   // one worker per root
  void cancel();  // workers stop at the next entry; their later output is dropped
  void join();
  bool running() const;  // some worker has not ended yet
  std::uint64_t failedCopies() const;

  // The save folders copies went to, in first-use order; a row's tag holds its index here.
  std::vector<std::string> saveFolders() const;

 private:
  std::shared_ptr<detail::SearchState> state_;
  std::vector<std::thread> workers_;
};

// The progress text after a name: "请稍后，正在搜索" + name + "  加速" + number.
std::string progressText(std::string_view name, int number);

}  // namespace quorvel::search
