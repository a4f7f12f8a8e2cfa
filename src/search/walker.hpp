// What a job shares with its workers, and the walk of one root. Internal to the search library.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "search/match.hpp"
#include "search/search.hpp"

namespace quorvel::search::detail {

struct SearchState {
  SearchState(Request r, std::shared_ptr<const LiveOptions> o, std::shared_ptr<Sink> s);

  const Request request;
  const std::vector<std::string> excludedSorted;
  const std::shared_ptr<const LiveOptions> options;
  const std::shared_ptr<Sink> sink;

  // Set by cancel(). Sink calls run under a shared hold of sinkGate and test the flag inside
  // it; cancel() sets the flag and then takes the gate alone once, so when it returns no row or
  // progress call is under way and none will start.
  std::atomic<bool> cancelled{false};
  std::shared_mutex sinkGate;

  std::atomic<std::uint32_t> workersLeft{0};
  std::atomic<bool> ended{false};  // some worker has claimed the right to report the end
  std::atomic<std::uint64_t> failedCopies{0};

  mutable std::mutex saveFoldersLock;
  std::vector<std::string> saveFolders;
  std::uint32_t saveFolderIndex(const std::string& folder);

  // Built by the first worker that needs a mode; the constructor stays cheap.
  const Matcher& matcher(Mode mode);

  bool isExcluded(std::string_view path) const;

 private:
  std::once_flag builtExact_, builtFuzzy_;
  std::unique_ptr<Matcher> exact_, fuzzy_;
};

// Walks one root to its end (or to a cancel), posting rows and progress; then, if it is the last
// worker and the job was not cancelled, reports the end.
void runWorker(SearchState& state, std::size_t rootIndex);

}  // namespace quorvel::search::detail
