// Rows of the result list: exact bytes, stored compactly, since a search may list millions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::form {

// Rows on their way to a list: one buffer for all texts, so a batch of thousands is a handful of
// allocations.
class RowBatch {
 public:
  void add(std::string_view text, std::uint32_t tag);
  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view text(std::size_t i) const;
  std::uint32_t tag(std::size_t i) const { return tags_[i]; }
  void clear();

 private:
  std::string bytes_;
  std::vector<std::uint32_t> ends_;
  std::vector<std::uint32_t> tags_;
};

// The rows of a list: texts packed into large fixed-size chunks (no reallocation copies, little
// slack), plus 16 bytes per row.
class RowStore {
 public:
  void append(const RowBatch& batch);
  void clear();
  std::size_t size() const { return rows_.size(); }
  std::string_view text(std::size_t i) const;
  std::uint32_t tag(std::size_t i) const { return rows_[i].tag; }
  // Bytes held beyond the texts themselves, for measuring.
  std::size_t overheadBytes() const;

 private:
  struct Row {
    const char* data;
    std::uint32_t length;
    std::uint32_t tag;
  };
  static constexpr std::size_t kChunkBytes = 1 << 20;
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::size_t chunkBytes_ = 0;  // all chunks together
  std::size_t textBytes_ = 0;   // all texts together
  char* current_ = nullptr;     // the chunk being filled; a text longer than that gets its own
  std::size_t used_ = 0;        // bytes used in current_
  std::vector<Row> rows_;
};

}  // namespace quorvel::form
