// The not-found report: which lines of the names box no listed file matches.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/match.hpp"

namespace quorvel::ui {

// A line counts as found when a listed file matches it by the rule of the search that made the
// list (the walker's own matcher), not when it is merely part of some file's name. Rows are fed
// one at a time, so a long list can be taken in slices.
class NotFound {
 public:
  NotFound(std::vector<std::string> lines, search::Mode mode);

  void addRow(std::string_view path);
  // Every line not found, in box order, each followed by CR LF; a line twice, twice.
  std::string report() const;

 private:
  std::vector<std::string> lines_;
  std::vector<char> found_;
  search::Matcher matcher_;
  std::vector<std::uint32_t> hits_;
  std::size_t unfound_;
  bool anyRow_ = false;
};

}  // namespace quorvel::ui
