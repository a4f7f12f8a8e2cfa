// Name matching. Three indexes share the names of one search:
// - exact names without wildcards: a hash of the case-folded name, probed at every dot of an
//   entry and at its end, with one running hash per entry;
// - fuzzy names without wildcards: a multi-pattern substring automaton over case-folded bytes;
// - everything else (a '*' or '?', a name that is not valid in the code page, a fuzzy name whose
//   pattern ends in ".*"): the wildcard matcher, one name at a time.
// The first two work on bytes. For valid UTF-8 names that gives the same answers as matching
// character by character, because a UTF-8 lead byte is never a continuation byte: a byte-wise hit
// always starts and ends on character boundaries of the entry.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "search/match.hpp"

namespace quorvel::search {

namespace {

using text::CodePage;

// The character starting at s[i]: a whole UTF-8 sequence (or GBK pair), else one stray byte.
std::size_t charLen(std::string_view s, std::size_t i, CodePage cp) {
  const auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) return 1;
  const std::size_t rest = s.size() - i;
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  auto cont = [&](std::size_t k) { return (at(k) & 0xC0) == 0x80; };
  if (cp == CodePage::Gbk) {
    if (b >= 0x81 && b <= 0xFE && rest >= 2 && at(1) >= 0x40 && at(1) <= 0xFE && at(1) != 0x7F)
      return 2;
    return 1;
  }
  if (b >= 0xC2 && b <= 0xDF) return (rest >= 2 && cont(1)) ? 2 : 1;
  if (b >= 0xE0 && b <= 0xEF) {
    if (rest < 3 || !cont(1) || !cont(2)) return 1;
    if (b == 0xE0 && at(1) < 0xA0) return 1;  // overlong
    if (b == 0xED && at(1) > 0x9F) return 1;  // surrogate
    return 3;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    if (rest < 4 || !cont(1) || !cont(2) || !cont(3)) return 1;
    if (b == 0xF0 && at(1) < 0x90) return 1;
    if (b == 0xF4 && at(1) > 0x8F) return 1;
    return 4;
  }
  return 1;
}

bool validText(std::string_view s, CodePage cp) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = charLen(s, i, cp);
    if (n == 1 && static_cast<unsigned char>(s[i]) >= 0x80) return false;
    i += n;
  }
  return true;
}

inline unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(fold(static_cast<unsigned char>(c)));
  return out;
}

// Greedy matching with one remembered star: on a mismatch only the last star takes one more
// character, so the cost is at most pattern length times name length, never exponential.
bool matchCore(std::string_view p, std::string_view s, CodePage cp) {
  std::size_t pi = 0, si = 0;
  std::size_t starP = std::string_view::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == '*') {
      while (pi < p.size() && p[pi] == '*') ++pi;
      starP = pi;
      starS = si;
      continue;
    }
    const std::size_t ls = charLen(s, si, cp);
    if (pi < p.size()) {
      if (p[pi] == '?') {
        ++pi;
        si += ls;
        continue;
      }
      const std::size_t lp = charLen(p, pi, cp);
      if (lp == ls) {
        bool same;
        if (lp == 1)
          same = fold(static_cast<unsigned char>(p[pi])) == fold(static_cast<unsigned char>(s[si]));
        else
          same = std::memcmp(p.data() + pi, s.data() + si, lp) == 0;
        if (same) {
          pi += lp;
          si += ls;
          continue;
        }
      }
    }
    if (starP == std::string_view::npos) return false;
    starS += charLen(s, starS, cp);
    pi = starP;
    si = starS;
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

constexpr std::uint64_t kHashStart = 0xcbf29ce484222325ull;
inline std::uint64_t hashStep(std::uint64_t h, unsigned char c) {
  return (h ^ c) * 0x100000001b3ull;
}
inline std::uint64_t hashSlot(std::uint64_t h, std::uint32_t len) {
  h ^= len;
  h ^= h >> 32;
  h *= 0x9e3779b97f4a7c15ull;
  return h ^ (h >> 29);
}

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::size_t kLengthBits = 4096;

// Hash of case-folded exact names, each key standing for a group of name indexes.
struct ExactIndex {
  struct Slot {
    std::uint64_t hash;
    std::uint32_t len;
    std::uint32_t group = kNone;
  };
  std::vector<Slot> slots;
  std::uint64_t mask = 0;
  std::string keys;                  // folded names, one after the other
  std::vector<std::uint32_t> keyAt;  // per group
  std::vector<std::uint64_t> lengths = std::vector<std::uint64_t>(kLengthBits / 64);
  bool longKeys = false;

  bool empty() const { return keyAt.empty(); }

  void build(const std::vector<std::string>& foldedKeys) {
    std::size_t size = 16;
    while (size < foldedKeys.size() * 2) size *= 2;
    slots.assign(size, Slot{});
    mask = size - 1;
    for (std::uint32_t g = 0; g < foldedKeys.size(); ++g) {
      const std::string& k = foldedKeys[g];
      std::uint64_t h = kHashStart;
      for (char c : k) h = hashStep(h, static_cast<unsigned char>(c));
      const auto len = static_cast<std::uint32_t>(k.size());
      std::uint64_t i = hashSlot(h, len) & mask;
      while (slots[i].group != kNone) i = (i + 1) & mask;
      slots[i] = {h, len, g};
      keyAt.push_back(static_cast<std::uint32_t>(keys.size()));
      keys += k;
      if (len < kLengthBits)
        lengths[len / 64] |= 1ull << (len % 64);
      else
        longKeys = true;
    }
  }

  // The group whose key equals the folded first len bytes of entry, or kNone.
  std::uint32_t find(std::uint64_t h, std::string_view entry, std::size_t len) const {
    if (len < kLengthBits ? !(lengths[len / 64] >> (len % 64) & 1) : !longKeys) return kNone;
    const auto l32 = static_cast<std::uint32_t>(len);
    for (std::uint64_t i = hashSlot(h, l32) & mask;; i = (i + 1) & mask) {
      const Slot& s = slots[i];
      if (s.group == kNone) return kNone;
      if (s.hash != h || s.len != l32) continue;
      const char* key = keys.data() + keyAt[s.group];
      bool same = true;
      for (std::size_t j = 0; j < len && same; ++j)
        same = key[j] == static_cast<char>(fold(static_cast<unsigned char>(entry[j])));
      if (same) return s.group;
    }
  }
};

// Aho-Corasick over folded bytes. States are numbered breadth first, so the root and its
// children come first; those get full 256-entry rows (where nearly every step of a scan stays),
// deeper states keep only their own edges, sorted, and fall back along failure links.
struct SubstringIndex {
  std::uint32_t denseCount = 0;
  std::vector<std::uint32_t> dense;      // denseCount * 256
  std::vector<std::uint32_t> edgeBegin;  // per state, +1
  std::vector<unsigned char> edgeByte;
  std::vector<std::uint32_t> edgeChild;
  std::vector<std::uint32_t> fail;
  std::vector<std::uint32_t> group;   // the key ending at the state, or kNone
  std::vector<std::uint32_t> report;  // first state on the suffix chain with a key, 0 if none
  std::vector<std::uint32_t> next;    // from a reporting state, the next one down the chain

  bool empty() const { return fail.empty(); }

  std::uint32_t childOf(std::uint32_t s, unsigned char c) const {
    const auto b = edgeByte.begin() + edgeBegin[s], e = edgeByte.begin() + edgeBegin[s + 1];
    const auto it = std::lower_bound(b, e, c);
    if (it == e || *it != c) return kNone;
    return edgeChild[static_cast<std::size_t>(it - edgeByte.begin())];
  }

  std::uint32_t step(std::uint32_t s, unsigned char c) const {
    for (;;) {
      if (s < denseCount) return dense[std::size_t{s} * 256 + c];
      const std::uint32_t t = childOf(s, c);
      if (t != kNone) return t;
      s = fail[s];
    }
  }

  void build(const std::vector<std::string>& keys) {
    // A trie with sibling lists first: cheap to grow, then laid out breadth first.
    struct Node {
      std::uint32_t firstChild = kNone, sibling = kNone, group = kNone;
      unsigned char byte = 0;
    };
    std::vector<Node> trie(1);
    for (std::uint32_t g = 0; g < keys.size(); ++g) {
      std::uint32_t s = 0;
      for (char ch : keys[g]) {
        const auto c = static_cast<unsigned char>(ch);
        std::uint32_t t = trie[s].firstChild;
        while (t != kNone && trie[t].byte != c) t = trie[t].sibling;
        if (t == kNone) {
          t = static_cast<std::uint32_t>(trie.size());
          Node n;
          n.byte = c;
          n.sibling = trie[s].firstChild;
          trie.push_back(n);
          trie[s].firstChild = t;
        }
        s = t;
      }
      trie[s].group = g;
    }
    const auto count = static_cast<std::uint32_t>(trie.size());
    std::vector<std::uint32_t> order;  // breadth-first order of old numbers
    std::vector<std::uint32_t> renum(count);
    std::vector<std::uint32_t> depth(count, 0);
    order.reserve(count);
    order.push_back(0);
    std::vector<std::pair<unsigned char, std::uint32_t>> kids;
    edgeBegin.assign(count + 1, 0);
    edgeByte.reserve(count);
    edgeChild.reserve(count);
    for (std::size_t q = 0; q < order.size(); ++q) {
      const std::uint32_t old = order[q];
      renum[old] = static_cast<std::uint32_t>(q);
      kids.clear();
      for (std::uint32_t t = trie[old].firstChild; t != kNone; t = trie[t].sibling)
        kids.emplace_back(trie[t].byte, t);
      std::sort(kids.begin(), kids.end());
      edgeBegin[q] = static_cast<std::uint32_t>(edgeByte.size());
      for (auto [c, t] : kids) {
        depth[t] = depth[old] + 1;
        edgeByte.push_back(c);
        edgeChild.push_back(static_cast<std::uint32_t>(order.size()));  // its new number
        order.push_back(t);
      }
    }
    edgeBegin[count] = static_cast<std::uint32_t>(edgeByte.size());
    group.assign(count, kNone);
    for (std::uint32_t q = 0; q < count; ++q) group[q] = trie[order[q]].group;
    denseCount = 1;
    while (denseCount < count && depth[order[denseCount]] == 1) ++denseCount;
    std::vector<std::uint32_t>().swap(depth);
    std::vector<Node>().swap(trie);

    fail.assign(count, 0);
    report.assign(count, 0);
    next.assign(count, 0);
    dense.assign(std::size_t{denseCount} * 256, 0);
    for (std::uint32_t i = edgeBegin[0]; i < edgeBegin[1]; ++i) dense[edgeByte[i]] = edgeChild[i];
    for (std::uint32_t s = 1; s < denseCount; ++s) {
      std::copy(dense.begin(), dense.begin() + 256, dense.begin() + std::size_t{s} * 256);
      for (std::uint32_t i = edgeBegin[s]; i < edgeBegin[s + 1]; ++i)
        dense[std::size_t{s} * 256 + edgeByte[i]] = edgeChild[i];
    }
    // Breadth first, so every state's failure state (shallower) is done before it.
    for (std::uint32_t s = 0; s < count; ++s) {
      if (s != 0) {
        const std::uint32_t f = fail[s];
        next[s] = report[f];
        report[s] = group[s] != kNone ? s : report[f];
      }
      for (std::uint32_t i = edgeBegin[s]; i < edgeBegin[s + 1]; ++i) {
        const std::uint32_t t = edgeChild[i];
        fail[t] = s == 0 ? 0 : step(fail[s], edgeByte[i]);
      }
    }
  }
};

}  // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name, text::CodePage cp) {
  for (;;) {
    if (matchCore(pattern, name, cp)) return true;
    // "x.*" also matches the name that ends where the dot would stand.
    if (pattern.size() < 2 || pattern.substr(pattern.size() - 2) != ".*") return false;
    pattern.remove_suffix(2);
  }
}

std::string patternFor(std::string_view name, Mode mode) {
  std::string p;
  p.reserve(name.size() + 2);
  if (mode == Mode::Fuzzy) p += '*';
  p += name;
  p += mode == Mode::Fuzzy ? "*" : ".*";
  return p;
}

struct Matcher::Impl {
  Mode mode;
  CodePage cp;
  std::vector<std::uint32_t> groupBegin;  // per group, +1: a range of groupNames
  std::vector<std::uint32_t> groupNames;
  ExactIndex exact;
  SubstringIndex substring;
  std::vector<std::pair<std::uint32_t, std::string>> general;  // name index, pattern

  void addGroup(std::uint32_t g, std::vector<std::uint32_t>& out) const {
    out.insert(out.end(), groupNames.begin() + groupBegin[g],
               groupNames.begin() + groupBegin[g + 1]);
  }
};

Matcher::Matcher(const std::vector<std::string>& names, Mode mode, text::CodePage cp)
    : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.mode = mode;
  m.cp = cp;
  // Folded key -> its group; names equal but for case share a group and are all reported.
  std::unordered_map<std::string, std::uint32_t> groupOf;
  std::vector<std::string> keys;
  std::vector<std::vector<std::uint32_t>> members;
  for (std::uint32_t i = 0; i < names.size(); ++i) {
    const std::string& n = names[i];
    bool plain =
        cp == CodePage::Utf8 && n.find_first_of("*?") == std::string::npos && validText(n, cp);
    if (mode == Mode::Fuzzy && (n.empty() || n.back() == '.')) plain = false;
    if (!plain) {
      m.general.emplace_back(i, patternFor(n, mode));
      continue;
    }
    std::string k = folded(n);
    auto [it, added] = groupOf.try_emplace(k, static_cast<std::uint32_t>(keys.size()));
    if (added) {
      keys.push_back(std::move(k));
      members.emplace_back();
    }
    members[it->second].push_back(i);
  }
  m.groupBegin.push_back(0);
  for (const auto& g : members) {
    m.groupNames.insert(m.groupNames.end(), g.begin(), g.end());
    m.groupBegin.push_back(static_cast<std::uint32_t>(m.groupNames.size()));
  }
  if (keys.empty()) return;
  if (mode == Mode::Exact)
    m.exact.build(keys);
  else
    m.substring.build(keys);
}

Matcher::~Matcher() = default;
Matcher::Matcher(Matcher&&) noexcept = default;
Matcher& Matcher::operator=(Matcher&&) noexcept = default;

void Matcher::match(std::string_view entry, std::vector<std::uint32_t>& out) const {
  const Impl& m = *impl_;
  if (!m.exact.empty()) {
    std::uint64_t h = kHashStart;
    for (std::size_t i = 0; i < entry.size(); ++i) {
      const auto c = static_cast<unsigned char>(entry[i]);
      if (c == '.') {
        const std::uint32_t g = m.exact.find(h, entry, i);
        if (g != kNone) m.addGroup(g, out);
      }
      h = hashStep(h, fold(c));
    }
    const std::uint32_t g = m.exact.find(h, entry, entry.size());
    if (g != kNone) m.addGroup(g, out);
  }
  if (!m.substring.empty()) {
    const SubstringIndex& a = m.substring;
    thread_local std::vector<std::uint32_t> hits;
    hits.clear();
    std::uint32_t s = 0;
    for (char ch : entry) {
      s = a.step(s, fold(static_cast<unsigned char>(ch)));
      for (std::uint32_t t = a.report[s]; t != 0; t = a.next[t]) hits.push_back(a.group[t]);
    }
    if (hits.size() > 1) {
      std::sort(hits.begin(), hits.end());
      hits.erase(std::unique(hits.begin(), hits.end()), hits.end());
    }
    for (std::uint32_t g : hits) m.addGroup(g, out);
  }
  for (const auto& [index, pattern] : m.general)
    if (wildcardMatch(pattern, entry, m.cp)) out.push_back(index);
}

}  // namespace quorvel::search
