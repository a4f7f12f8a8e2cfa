#include "ui/report.hpp"

#include "os/os.hpp"
#include "text/text.hpp"

namespace quorvel::ui {

NotFound::NotFound(std::vector<std::string> lines, search::Mode mode)
    : lines_(std::move(lines)),
      found_(lines_.size(), 0),
      matcher_(lines_, mode),
      unfound_(lines_.size()) {}

void NotFound::addRow(std::string_view path) {
  anyRow_ = true;
  if (unfound_ == 0) return;
  hits_.clear();
  matcher_.match(text::fileNameOf(path, os::kPathSeparator), hits_);
  for (auto h : hits_) {
    if (found_[h]) continue;
    found_[h] = 1;
    --unfound_;
  }
}

std::string NotFound::report() const {
  std::string out;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    // An empty line names no file; it counts as found when anything was listed at all.
    const bool hit = lines_[i].empty() ? anyRow_ : found_[i] != 0;
    if (hit) continue;
    out += lines_[i];
    out += "\r\n";
  }
  return out;
}

}  // namespace quorvel::ui
