// The walk of one root: iterative, depth first, one listing per folder.
//
// Folders open relative to their parent, so neither depth nor path length is limited by the
// system's path calls. Only the deepest kMaxOpen folders of the walk stay open; an ancestor that
// was closed is reopened through its child's ".." when the walk comes back up to it.
#include <algorithm>
#include <chrono>
#include <random>

#include "os/os.hpp"
#include "search/walker.hpp"

namespace quorvel::search::detail {

namespace {

constexpr std::size_t kMaxOpen = 64;
constexpr auto kProgressEvery = std::chrono::milliseconds(50);

using Clock = std::chrono::steady_clock;

// Appends a name the way os::joinPath joins it: one separator, none after a folder that already
// ends in one.
void appendName(std::string& path, std::string_view name) {
  if (path.empty() || path.back() != os::kPathSeparator) path += os::kPathSeparator;
  path += name;
}

class Walker {
 public:
  Walker(SearchState& state, std::size_t rootIndex)
      : st_(state),
        lastName_(state.request.names.empty() ? std::string_view()
                                              : std::string_view(state.request.names.back())),
        random_(seedFor(rootIndex)) {}

  void walk(const std::string& root);
  void finalProgress() { postProgress(); }

 private:
  struct Frame {
    os::Folder folder;
    std::uint32_t subBegin;  // this folder's subfolders in subs_
    std::uint32_t subNext;
    std::uint32_t subEnd;
    std::uint32_t pathLength;
  };

  static std::uint32_t seedFor(std::size_t rootIndex) {
    const auto t = static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
    return static_cast<std::uint32_t>(t ^ (t >> 32) ^ (rootIndex * 0x9e3779b9u));
  }

  bool cancelled() const { return st_.cancelled.load(std::memory_order_relaxed); }
  bool visit(Frame& frame);  // false when cancelled
  bool emit(std::uint32_t entryIndex, std::size_t pathLength);
  void postProgress();

  SearchState& st_;
  std::string_view lastName_;
  std::minstd_rand random_;
  Clock::time_point lastProgress_{};

  std::string path_;
  os::Listing listing_;
  std::vector<std::uint32_t> matched_;
  std::vector<std::uint64_t> hits_;  // name index << 32 | entry index
  std::vector<Frame> frames_;
  std::string subNames_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> subs_;  // offset, length in subNames_

  std::string saveFolder_;  // the last one read, and its index in the job's list
  std::uint32_t saveIndex_ = 0;
  bool haveSaveFolder_ = false;
};

void Walker::walk(const std::string& root) {
  path_ = root;
  frames_.push_back({os::Folder::open(root), 0, 0, 0, static_cast<std::uint32_t>(path_.size())});
  if (!visit(frames_.back())) return;
  while (!frames_.empty()) {
    Frame& top = frames_.back();
    if (top.subNext < top.subEnd) {
      const auto [offset, length] = subs_[top.subNext++];
      const std::string_view name(subNames_.data() + offset, length);
      path_.resize(top.pathLength);
      appendName(path_, name);
      os::Folder child = top.folder.openChild(name);
      frames_.push_back({std::move(child), 0, 0, 0, static_cast<std::uint32_t>(path_.size())});
      if (frames_.size() > kMaxOpen) frames_[frames_.size() - 1 - kMaxOpen].folder.close();
      if (!visit(frames_.back())) return;
      continue;
    }
    // Done with this folder: give back its subfolder names, make sure the parent is open.
    if (top.subBegin < subs_.size()) {
      subNames_.resize(subs_[top.subBegin].first);
      subs_.resize(top.subBegin);
    }
    if (frames_.size() >= 2) {
      Frame& parent = frames_[frames_.size() - 2];
      if (!parent.folder.valid()) {
        parent.folder = top.folder.openParent();
        if (!parent.folder.valid() && parent.pathLength < 4096) {
          path_.resize(parent.pathLength);
          parent.folder = os::Folder::open(path_);
        }
      }
    }
    frames_.pop_back();
  }
}

bool Walker::visit(Frame& frame) {
  frame.folder.read(listing_);  // an unreadable folder lists nothing
  const std::size_t base = frame.pathLength;
  const Matcher& matcher = st_.matcher(st_.options->fuzzy() ? Mode::Fuzzy : Mode::Exact);

  hits_.clear();
  const auto count = static_cast<std::uint32_t>(listing_.entries.size());
  for (std::uint32_t j = 0; j < count; ++j) {
    if (cancelled()) return false;
    const auto& e = listing_.entries[j];
    if (e.kind != os::EntryKind::File) continue;
    matched_.clear();
    matcher.match(listing_.name(e), matched_);
    for (std::uint32_t n : matched_) hits_.push_back(std::uint64_t{n} << 32 | j);
  }
  // Rows go out grouped by name in list order, each name's entries in directory order.
  if (hits_.size() > 1) std::sort(hits_.begin(), hits_.end());
  for (std::uint64_t h : hits_)
    if (!emit(static_cast<std::uint32_t>(h), base)) return false;
  path_.resize(base);

  if (Clock::now() - lastProgress_ >= kProgressEvery) postProgress();

  frame.subBegin = static_cast<std::uint32_t>(subs_.size());
  for (const auto& e : listing_.entries) {
    if (e.kind != os::EntryKind::Folder) continue;
    const std::string_view name = listing_.name(e);
    if (name.empty() || name.back() == '.') continue;  // ".", ".." and any name ending in a dot
    if (!st_.request.excluded.empty()) {
      appendName(path_, name);
      const bool skip = st_.isExcluded(path_);
      path_.resize(base);
      if (skip) continue;
    }
    subs_.emplace_back(static_cast<std::uint32_t>(subNames_.size()),
                       static_cast<std::uint32_t>(name.size()));
    subNames_ += name;
  }
  frame.subNext = frame.subBegin;
  frame.subEnd = static_cast<std::uint32_t>(subs_.size());
  return !cancelled();
}

bool Walker::emit(std::uint32_t entryIndex, std::size_t pathLength) {
  const std::string_view name = listing_.name(listing_.entries[entryIndex]);
  path_.resize(pathLength);
  appendName(path_, name);
  std::uint32_t tag = makeTag(RowOutcome::NotCopied, 0);
  if (!st_.options->searchOnly()) {
    const std::string folder = st_.options->saveFolder();
    if (!haveSaveFolder_ || folder != saveFolder_) {
      saveIndex_ = st_.saveFolderIndex(folder);
      saveFolder_ = folder;
      haveSaveFolder_ = true;
    }
    // The copy comes first, so a row never names a copy that is not there yet.
    const os::CopyResult r = os::copyReplacing(path_, os::joinPath(folder, name), &st_.cancelled);
    const RowOutcome outcome = r == os::CopyResult::Copied     ? RowOutcome::Copied
                               : r == os::CopyResult::SameFile ? RowOutcome::IsItsCopy
                                                               : RowOutcome::CopyFailed;
    tag = makeTag(outcome, saveIndex_);
  }
  std::shared_lock gate(st_.sinkGate);
  if (cancelled()) return false;
  if (tagOutcome(tag) == RowOutcome::CopyFailed) st_.failedCopies.fetch_add(1);
  st_.sink->row(path_, tag);
  return true;
}

void Walker::postProgress() {
  lastProgress_ = Clock::now();
  std::uniform_int_distribution<int> number(1, 5000);
  std::string text = progressText(lastName_, number(random_));
  std::shared_lock gate(st_.sinkGate);
  if (cancelled()) return;
  st_.sink->progress(std::move(text));
}

}  // namespace

SearchState::SearchState(Request r, std::shared_ptr<const LiveOptions> o, std::shared_ptr<Sink> s)
    : request(std::move(r)),
      excludedSorted([this] {
        std::vector<std::string> v = request.excluded;
        std::sort(v.begin(), v.end());
        return v;
      }()),
      options(std::move(o)),
      sink(std::move(s)) {}

std::uint32_t SearchState::saveFolderIndex(const std::string& folder) {
  std::lock_guard lock(saveFoldersLock);
  const auto it = std::find(saveFolders.begin(), saveFolders.end(), folder);
  if (it != saveFolders.end()) return static_cast<std::uint32_t>(it - saveFolders.begin());
  saveFolders.push_back(folder);
  return static_cast<std::uint32_t>(saveFolders.size() - 1);
}

const Matcher& SearchState::matcher(Mode mode) {
  if (mode == Mode::Exact) {
    std::call_once(builtExact_,
                   [this] { exact_ = std::make_unique<Matcher>(request.names, Mode::Exact); });
    return *exact_;
  }
  std::call_once(builtFuzzy_,
                 [this] { fuzzy_ = std::make_unique<Matcher>(request.names, Mode::Fuzzy); });
  return *fuzzy_;
}

bool SearchState::isExcluded(std::string_view path) const {
  const auto it = std::lower_bound(excludedSorted.begin(), excludedSorted.end(), path,
                                   [](const std::string& a, std::string_view b) { return a < b; });
  return it != excludedSorted.end() && *it == path;
}

void runWorker(SearchState& state, std::size_t rootIndex) {
  {
    Walker walker(state, rootIndex);
    walker.walk(state.request.roots[rootIndex]);
    if (!state.cancelled.load()) walker.finalProgress();
  }
  if (state.workersLeft.fetch_sub(1) != 1) return;
  // The last worker out reports the end, unless a cancel claimed it first.
  if (!state.ended.exchange(true)) state.sink->finished(state.failedCopies.load());
}

}  // namespace quorvel::search::detail
