#include "form/rows.hpp"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace quorvel::form {

void RowBatch::add(std::string_view text, std::uint32_t tag) {
  if (bytes_.size() + text.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("row batch over 4 GiB");
  }
  bytes_.append(text);
  ends_.push_back(static_cast<std::uint32_t>(bytes_.size()));
  tags_.push_back(tag);
}

std::string_view RowBatch::text(std::size_t i) const {
  const std::uint32_t begin = i == 0 ? 0 : ends_[i - 1];
  return std::string_view(bytes_).substr(begin, ends_[i] - begin);
}

void RowBatch::clear() {
  bytes_.clear();
  ends_.clear();
  tags_.clear();
}

void RowStore::append(const RowBatch& batch) {
  for (std::size_t i = 0; i < batch.size(); ++i) {
    const std::string_view text = batch.text(i);
    char* data = nullptr;
    if (text.size() > kChunkBytes) {
      // Its own chunk, so the chunk being filled keeps its free space.
      chunks_.push_back(std::make_unique<char[]>(text.size()));
      chunkBytes_ += text.size();
      data = chunks_.back().get();
    } else if (!text.empty()) {
      if (current_ == nullptr || kChunkBytes - used_ < text.size()) {
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(kChunkBytes));
        chunkBytes_ += kChunkBytes;
        current_ = chunks_.back().get();
        used_ = 0;
      }
      data = current_ + used_;
      used_ += text.size();
    }
    if (data != nullptr) std::memcpy(data, text.data(), text.size());
    textBytes_ += text.size();
    rows_.push_back(Row{data, static_cast<std::uint32_t>(text.size()), batch.tag(i)});
  }
}

void RowStore::clear() {
  std::vector<Row>().swap(rows_);
  std::vector<std::unique_ptr<char[]>>().swap(chunks_);
  chunkBytes_ = 0;
  textBytes_ = 0;
  current_ = nullptr;
  used_ = 0;
}

std::string_view RowStore::text(std::size_t i) const {
  const Row& row = rows_[i];
  return row.length == 0 ? std::string_view() : std::string_view(row.data, row.length);
}

std::size_t RowStore::overheadBytes() const {
  return rows_.capacity() * sizeof(Row) + chunks_.capacity() * sizeof(chunks_[0]) +
         (chunkBytes_ - textBytes_);
}

}  // namespace quorvel::form
