// Name matching: every name of a search against every entry of a folder, through indexes, so the
// cost per entry does not grow with the number of names (names holding * or ? aside).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.hpp"

namespace quorvel::search {

enum class Mode : std::uint8_t {
  Exact,  // the name, optionally followed by a dot and more: pattern name + ".*"
  Fuzzy,  // any part of the name: pattern "*" + name + "*"
};

// File-name wildcard matching: ASCII letters without case, '*' any run (also empty), '?' any one
// character; a pattern ending in ".*" also matches the name that ends where the dot would stand.
bool wildcardMatch(std::string_view pattern, std::string_view name,
                   text::CodePage cp = text::kNative);

// The pattern a name stands for in a mode.
std::string patternFor(std::string_view name, Mode mode);

// All names of one search in one mode, indexed.
class Matcher {
 public:
  Matcher(const std::vector<std::string>& names, Mode mode, text::CodePage cp = text::kNative);
  ~Matcher();
  Matcher(Matcher&&) noexcept;
  Matcher& operator=(Matcher&&) noexcept;

  // Appends to out the index of every name that matches entry, once per name (a name that stands
  // twice in the list is two names), in no particular order.
  void match(std::string_view entry, std::vector<std::uint32_t>& out) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quorvel::search
