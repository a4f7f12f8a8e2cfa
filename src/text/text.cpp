#include "text/text.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

namespace quorvel::text {
namespace {

using Byte = unsigned char;
constexpr std::size_t kNone = std::string_view::npos;

inline Byte at(std::string_view s, std::size_t i) {
  return static_cast<Byte>(s[i]);
}
inline bool isContinuation(Byte c) {
  return c >= 0x80 && c <= 0xBF;
}

std::size_t utf8Length(std::string_view s, std::size_t i) {
  const Byte c = at(s, i);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  Byte lo = 0x80;
  Byte hi = 0xBF;
  // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 1;
  }
  if (s.size() - i < n) return 1;
  const Byte c1 = at(s, i + 1);
  if (c1 < lo || c1 > hi) return 1;
  for (std::size_t k = 2; k < n; ++k) {
    if (!isContinuation(at(s, i + k))) return 1;
  }
  return n;
}

inline std::size_t gbkLength(std::string_view s, std::size_t i) {
  return (at(s, i) >= 0x80 && i + 1 < s.size()) ? 2 : 1;
}

constexpr std::array<Byte, 256> makeFoldTable() {
  std::array<Byte, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    t[i] = static_cast<Byte>((i >= 'A' && i <= 'Z') ? i - 'A' + 'a' : i);
  }
  return t;
}
constexpr std::array<Byte, 256> kFold = makeFoldTable();
constexpr std::array<Byte, 256> makeIdentityTable() {
  std::array<Byte, 256> t{};
  for (unsigned i = 0; i < 256; ++i) t[i] = static_cast<Byte>(i);
  return t;
}
constexpr std::array<Byte, 256> kIdentity = makeIdentityTable();

bool hasAsciiLetter(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const char lower = foldAscii(c);
    return lower >= 'a' && lower <= 'z';
  });
}

// Answers "does a character start at p?" for positions asked in non-decreasing order.
class Boundaries {
 public:
  Boundaries(std::string_view s, CodePage cp) : s_(s), cp_(cp) {}

  bool isStart(std::size_t p) {
    if (cp_ == CodePage::Utf8) return utf8IsStart(p);
    // GBK cannot be read backwards (a trail byte may be any byte), so walk forward from the
    // last answer; over a whole search this walks the text once.
    while (next_ < p) next_ += gbkLength(s_, next_);
    return next_ == p;
  }

 private:
  // UTF-8 synchronises itself: only a continuation byte can sit inside a character, and then
  // only inside the valid sequence of the nearest lead byte before it.
  bool utf8IsStart(std::size_t p) const {
    if (!isContinuation(at(s_, p))) return true;
    for (std::size_t back = 1; back <= 3 && back <= p; ++back) {
      const Byte c = at(s_, p - back);
      if (isContinuation(c)) continue;
      return utf8Length(s_, p - back) <= back;
    }
    return true;
  }

  std::string_view s_;
  CodePage cp_;
  std::size_t next_ = 0;
};

// Every byte position where needle occurs in hay, in increasing order (overlaps included),
// compared through a byte table (identity or ASCII folding). The fast searches below can
// degrade on periodic input, so each keeps a work budget and hands over to Knuth-Morris-Pratt,
// which is linear in every case.
class Occurrences {
 public:
  Occurrences(std::string_view hay, std::string_view needle, bool fold)
      : hay_(hay), needle_(needle), table_(fold ? kFold.data() : kIdentity.data()), fold_(fold) {
    budget_ = 2 * hay.size() + 4096;
    if (fold_) {
      // Shifts are capped at 255: a shorter shift is only slower, never wrong.
      const auto shift = [](std::size_t n) {
        return static_cast<Byte>(std::min<std::size_t>(n, 255));
      };
      skip_.fill(shift(needle.size()));
      for (std::size_t j = 0; j + 1 < needle.size(); ++j) {
        skip_[table_[at(needle, j)]] = shift(needle.size() - 1 - j);
      }
    }
  }

  // The next occurrence, kNone when there is no further one.
  std::size_t next() {
    if (kmp_) return nextKmp();
    if (pos_ + needle_.size() > hay_.size()) return kNone;
    const std::size_t q = fold_ ? horspool(pos_) : exact(pos_);
    if (q == kNone) {
      if (kmp_) return nextKmp();
      pos_ = hay_.size();
      return kNone;
    }
    pos_ = q + 1;
    return q;
  }

 private:
  std::size_t exact(std::size_t from) {
    const std::size_t m = needle_.size();
    // Each call costs about the needle's length beyond the bytes it skips.
    if (spent_ > budget_) return startKmp(from);
    spent_ += m;
    // Short texts (a single file name) cost less to scan directly than to set a searcher up.
    if (hay_.size() - from < 256) return hay_.find(needle_, from);
#if defined(__GLIBC__)
    const void* r = memmem(hay_.data() + from, hay_.size() - from, needle_.data(), m);
    return r ? static_cast<std::size_t>(static_cast<const char*>(r) - hay_.data()) : kNone;
#else
    auto it = std::search(hay_.begin() + static_cast<std::ptrdiff_t>(from), hay_.end(),
                          std::boyer_moore_horspool_searcher(needle_.begin(), needle_.end()));
    return it == hay_.end() ? kNone : static_cast<std::size_t>(it - hay_.begin());
#endif
  }

  std::size_t horspool(std::size_t i) {
    const std::size_t m = needle_.size();
    const Byte last = table_[at(needle_, m - 1)];
    while (i + m <= hay_.size()) {
      const Byte c = table_[at(hay_, i + m - 1)];
      if (c == last) {
        std::size_t j = 0;
        while (j + 1 < m && table_[at(hay_, i + j)] == table_[at(needle_, j)]) ++j;
        spent_ += j + 1;
        if (j + 1 >= m) return i;
        if (spent_ > budget_) return startKmp(i);
      }
      i += skip_[c];
    }
    return kNone;
  }

  // Switches to KMP at from; every alignment before from has been looked at.
  std::size_t startKmp(std::size_t from) {
    kmp_ = true;
    pos_ = from;
    state_ = 0;
    const std::size_t m = needle_.size();
    fail_.assign(m, 0);
    for (std::size_t i = 1, k = 0; i < m; ++i) {
      while (k > 0 && table_[at(needle_, i)] != table_[at(needle_, k)]) k = fail_[k - 1];
      if (table_[at(needle_, i)] == table_[at(needle_, k)]) ++k;
      fail_[i] = k;
    }
    return kNone;
  }

  // Here pos_ is the next hay byte to consume and state_ the matched prefix length.
  std::size_t nextKmp() {
    const std::size_t m = needle_.size();
    while (pos_ < hay_.size()) {
      const Byte c = table_[at(hay_, pos_++)];
      while (state_ > 0 && c != table_[at(needle_, state_)]) state_ = fail_[state_ - 1];
      if (c == table_[at(needle_, state_)]) ++state_;
      if (state_ == m) {
        state_ = fail_[m - 1];
        return pos_ - m;
      }
    }
    return kNone;
  }

  std::string_view hay_;
  std::string_view needle_;
  const Byte* table_;
  bool fold_;
  bool kmp_ = false;
  std::size_t pos_ = 0;
  std::size_t spent_ = 0;
  std::size_t budget_ = 0;
  std::size_t state_ = 0;
  std::array<Byte, 256> skip_;  // filled only for the folding search
  std::vector<std::size_t> fail_;
};

// With folding, a byte that is the second half of a GBK character is not an ASCII letter and
// must match exactly. Both sides parse alike from a common start while their bytes agree, so
// the needle's own parse tells where those bytes are.
class GbkTrails {
 public:
  explicit GbkTrails(std::string_view needle) : needle_(needle) {
    for (std::size_t i = 0; i < needle.size(); i += gbkLength(needle, i)) {
      if (gbkLength(needle, i) == 2) trails_.push_back(i + 1);
    }
  }
  bool agree(std::string_view hay, std::size_t q) const {
    return std::all_of(trails_.begin(), trails_.end(),
                       [&](std::size_t j) { return hay[q + j] == needle_[j]; });
  }
  bool empty() const { return trails_.empty(); }

 private:
  std::string_view needle_;
  std::vector<std::size_t> trails_;
};

// Last byte position of c that starts a character, kNone when there is none.
std::size_t lastCharFromEnd(std::string_view s, char c, CodePage cp) {
  if (cp == CodePage::Utf8 && !isContinuation(static_cast<Byte>(c))) return s.rfind(c);
  if (cp == CodePage::Gbk && static_cast<Byte>(c) < 0x80) {
    // A byte below 0x80 always ends a character, so a candidate starts one exactly when an even
    // number of bytes of 0x80 or above come right before it. The runs looked at
    // never overlap, since each stops at or after the previous candidate.
    for (std::size_t p = s.rfind(c); p != kNone; p = p == 0 ? kNone : s.rfind(c, p - 1)) {
      std::size_t high = 0;
      while (high < p && at(s, p - 1 - high) >= 0x80) ++high;
      if (high % 2 == 0) return p;
    }
    return kNone;
  }
  Boundaries b(s, cp);
  std::size_t last = kNone;
  for (const char* p = static_cast<const char*>(std::memchr(s.data(), c, s.size())); p;) {
    const std::size_t q = static_cast<std::size_t>(p - s.data());
    if (b.isStart(q)) last = q;
    if (q + 1 >= s.size()) break;
    p = static_cast<const char*>(std::memchr(p + 1, c, s.size() - q - 1));
  }
  return last;
}

}  // namespace

std::size_t charLength(std::string_view s, std::size_t i, CodePage cp) {
  if (i >= s.size()) return 0;
  return cp == CodePage::Utf8 ? utf8Length(s, i) : gbkLength(s, i);
}

std::vector<std::string> splitCrLf(std::string_view s, CodePage cp) {
  std::vector<std::string> pieces;
  Boundaries b(s, cp);
  std::size_t start = 0;
  std::size_t from = 0;
  while (from + 1 < s.size()) {
    const void* hit = std::memchr(s.data() + from, '\r', s.size() - from - 1);
    if (!hit) break;
    const std::size_t q = static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
    if (s[q + 1] == '\n' && b.isStart(q)) {
      pieces.emplace_back(s.substr(start, q - start));
      start = from = q + 2;
    } else {
      from = q + 1;
    }
  }
  if (start < s.size()) pieces.emplace_back(s.substr(start));
  return pieces;
}

bool isBlankLine(std::string_view line, CodePage cp) {
  const std::string_view wide = cp == CodePage::Utf8 ? "\xE3\x80\x80" : "\xA1\xA1";
  std::size_t i = 0;
  // Stepping over whole spaces only keeps i on a character start.
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
    } else if (line.substr(i, wide.size()) == wide) {
      i += wide.size();
    } else {
      return false;
    }
  }
  return true;
}

long find(std::string_view hay, std::string_view needle, CodePage cp, bool ignoreAsciiCase) {
  if (needle.empty()) return hay.empty() ? -1 : 1;
  if (needle.size() > hay.size()) return -1;
  const bool fold = ignoreAsciiCase && hasAsciiLetter(needle);
  // In valid UTF-8 only a continuation byte can be inside a character, so a needle that starts
  // otherwise needs no boundary test at all.
  const bool anyStart = cp == CodePage::Utf8 && !isContinuation(at(needle, 0));
  Occurrences occ(hay, needle, fold);
  Boundaries b(hay, cp);
  const GbkTrails trails(fold && cp == CodePage::Gbk ? needle : std::string_view());
  for (std::size_t q = occ.next(); q != kNone; q = occ.next()) {
    if (!anyStart && !b.isStart(q)) continue;
    if (!trails.empty() && !trails.agree(hay, q)) continue;
    return static_cast<long>(q) + 1;
  }
  return -1;
}

long findFromEnd(std::string_view hay, std::string_view needle, CodePage cp) {
  if (needle.empty()) return hay.empty() ? -1 : static_cast<long>(hay.size()) + 1;
  if (needle.size() > hay.size()) return -1;
  if (needle.size() == 1) {
    const std::size_t p = lastCharFromEnd(hay, needle[0], cp);
    return p == kNone ? -1 : static_cast<long>(p) + 1;
  }
  const bool anyStart = cp == CodePage::Utf8 && !isContinuation(at(needle, 0));
  Occurrences occ(hay, needle, false);
  Boundaries b(hay, cp);
  std::size_t last = kNone;
  for (std::size_t q = occ.next(); q != kNone; q = occ.next()) {
    if (anyStart || b.isStart(q)) last = q;
  }
  return last == kNone ? -1 : static_cast<long>(last) + 1;
}

std::string_view fileNameOf(std::string_view path, char separator, CodePage cp) {
  const std::size_t p = lastCharFromEnd(path, separator, cp);
  return p == kNone ? path : path.substr(p + 1);
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b, CodePage cp) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    const std::size_t n = charLength(a, i, cp);
    if (n == 1) {
      if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    } else if (a.substr(i, n) != b.substr(i, n)) {
      return false;
    }
    i += n;
  }
  return true;
}

}  // namespace quorvel::text
