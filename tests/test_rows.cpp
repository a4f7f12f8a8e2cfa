#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form/rows.hpp"

namespace quorvel::form {
namespace {

using namespace std::string_literals;

TEST(RowBatch, KeepsEveryTextAndTagInOrder) {
  RowBatch batch;
  EXPECT_TRUE(batch.empty());
  batch.add("a", 1);
  batch.add("", 2);
  batch.add("ccc", 3);
  ASSERT_EQ(batch.size(), 3u);
  EXPECT_EQ(batch.text(0), "a");
  EXPECT_EQ(batch.text(1), "");
  EXPECT_EQ(batch.text(2), "ccc");
  EXPECT_EQ(batch.tag(2), 3u);
  batch.clear();
  EXPECT_TRUE(batch.empty());
  batch.add("x", 9);
  EXPECT_EQ(batch.text(0), "x");
}

// Texts are bytes: whatever a file system hands out must come back unchanged.
TEST(RowStore, KeepsExactBytes) {
  const std::vector<std::string> texts = {
      "/home/u/plain.txt", "/tmp/\xff\xfe\x80 not utf-8",       "/tmp/line\nbreak and \r carriage",
      "C:\\dir\\file.jpg", "/tmp/\xe4\xb8\xad\xe6\x96\x87.jpg", "",
      "/tmp/\xe4\xb8",  // a character cut short
  };
  RowBatch batch;
  for (std::size_t i = 0; i < texts.size(); ++i) batch.add(texts[i], static_cast<std::uint32_t>(i));
  RowStore store;
  store.append(batch);
  store.append(batch);
  ASSERT_EQ(store.size(), 2 * texts.size());
  for (std::size_t i = 0; i < store.size(); ++i) {
    EXPECT_EQ(store.text(i), texts[i % texts.size()]) << i;
    EXPECT_EQ(store.tag(i), i % texts.size());
  }
}

// Rows that fill a chunk exactly, overflow it, or outgrow it keep their bytes, and earlier rows
// stay where they are.
TEST(RowStore, LongRowsAndChunkEdges) {
  constexpr std::size_t kChunk = 1 << 20;
  const std::vector<std::string> texts = {
      std::string(kChunk - 10, 'a'),  // leaves 10 bytes
      std::string(11, 'b'),           // does not fit them: a new chunk
      std::string(kChunk + 1, 'c'),   // longer than a chunk: its own
      std::string(5, 'd'),            // back in the chunk of 'b'
      std::string(kChunk - 16, 'e'),  // fills that chunk exactly
      std::string(3 * kChunk, 'f'),  "g"s,
  };
  RowStore store;
  for (const std::string& text : texts) {
    RowBatch batch;
    batch.add(text, 7);
    store.append(batch);
  }
  ASSERT_EQ(store.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_TRUE(store.text(i) == texts[i]) << i;
  // The oversized rows have chunks of their own and leave no slack; what is left unused is the
  // 10 bytes at the end of the first chunk and the open chunk that holds "g".
  EXPECT_GE(store.overheadBytes(), 10 + kChunk - 1);
  EXPECT_LT(store.overheadBytes(), 10 + kChunk - 1 + 4096);
}

TEST(RowStore, OverheadStaysSmallPerRow) {
  RowStore store;
  const std::string path = "/home/someone/pictures/2023/holiday/202301150930120001.jpg";
  constexpr std::size_t kRows = 200000;
  for (std::size_t done = 0; done < kRows;) {
    RowBatch batch;
    for (int i = 0; i < 1000; ++i, ++done) batch.add(path, static_cast<std::uint32_t>(done));
    store.append(batch);
  }
  EXPECT_EQ(store.size(), kRows);
  EXPECT_EQ(store.text(kRows - 1), path);
  // 16 bytes per row, the vector's spare capacity and the slack of the last chunk.
  EXPECT_LE(store.overheadBytes(), kRows * 32 + (1 << 20));
  EXPECT_GE(store.overheadBytes(), kRows * 16);

  store.clear();
  EXPECT_EQ(store.size(), 0u);
  EXPECT_EQ(store.overheadBytes(), 0u);
  RowBatch again;
  again.add("after clear", 1);
  store.append(again);
  EXPECT_EQ(store.text(0), "after clear");
}

}  // namespace
}  // namespace quorvel::form
