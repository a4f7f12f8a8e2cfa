// A search job: owns the request, starts one worker per root, cancels and joins them.
#include <system_error>

#include "search/search.hpp"
#include "search/walker.hpp"

namespace quorvel::search {

std::string progressText(std::string_view name, int number) {
  std::string s = "请稍后，正在搜索";
  s += name;
  s += "  加速";
  s += std::to_string(number);
  return s;
}

Job::Job(Request request, std::shared_ptr<const LiveOptions> options, std::shared_ptr<Sink> sink)
    : state_(std::make_shared<detail::SearchState>(std::move(request), std::move(options),
                                                   std::move(sink))) {}

Job::~Job() {
  cancel();
  join();
}

void Job::start() {
  detail::SearchState& st = *state_;
  const std::size_t roots = st.request.roots.size();
  if (roots == 0) {
    // Nothing to walk still ends, from a thread of its own like any search.
    st.workersLeft.store(1);
    workers_.emplace_back([state = state_] {
      state->workersLeft.store(0);
      if (!state->ended.exchange(true)) state->sink->finished(0);
    });
    return;
  }
  st.workersLeft.store(static_cast<std::uint32_t>(roots));
  for (std::size_t i = 0; i < roots; ++i) {
    try {
      workers_.emplace_back([state = state_, i] { detail::runWorker(*state, i); });
    } catch (const std::system_error&) {
      // That root is not walked; the others still report the end.
      st.workersLeft.fetch_sub(1);
    }
  }
}

void Job::cancel() {
  detail::SearchState& st = *state_;
  st.cancelled.store(true);
  st.ended.exchange(true);  // from here on, finished() is never called
  // Wait out a row or progress call that tested the flag before it was set.
  std::unique_lock gate(st.sinkGate);
}

void Job::join() {
  for (auto& w : workers_)
    if (w.joinable()) w.join();
}

bool Job::running() const {
  return state_->workersLeft.load() > 0;
}

std::uint64_t Job::failedCopies() const {
  return state_->failedCopies.load();
}

std::vector<std::string> Job::saveFolders() const {
  std::lock_guard lock(state_->saveFoldersLock);
  return state_->saveFolders;
}

}  // namespace quorvel::search
