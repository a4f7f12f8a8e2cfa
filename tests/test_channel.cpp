#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "form/channel.hpp"

namespace quorvel::form {
namespace {

using namespace std::chrono_literals;

// Records what the window thread applied, one line per operation.
struct Log {
  std::vector<std::string> lines;
  void attach(Channel& channel) {
    channel.setSinks(
        [this](std::uint64_t stream, RowBatch&& rows) {
          std::string line = "rows " + std::to_string(stream) + ":";
          for (std::size_t i = 0; i < rows.size(); ++i) line += " " + std::string(rows.text(i));
          lines.push_back(line);
        },
        [this](ControlId id, std::string_view text) {
          lines.push_back("caption " + std::to_string(id) + ": " + std::string(text));
        });
  }
};

struct Step {
  enum { Row, Caption, Call } what;
  std::uint64_t key;  // stream or control
  std::string text;
};

struct MergeCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::string> applied;
};

TEST(Channel, MergesRowsAndCoalescesCaptionsUpToABarrier) {
  const std::vector<MergeCase> cases = {
      {"rows of one stream form one batch, a caption between them does not split it",
       {{Step::Row, 1, "a"}, {Step::Caption, 5, "x"}, {Step::Row, 1, "b"}},
       {"rows 1: a b", "caption 5: x"}},
      {"another stream starts a new batch, and the first does not take rows again",
       {{Step::Row, 1, "a"}, {Step::Row, 2, "b"}, {Step::Row, 1, "c"}},
       {"rows 1: a", "rows 2: b", "rows 1: c"}},
      {"the last caption of a control wins, other controls keep theirs",
       {{Step::Caption, 5, "1"}, {Step::Caption, 6, "z"}, {Step::Caption, 5, "2"}},
       {"caption 5: 2", "caption 6: z"}},
      {"a posted operation is a barrier for captions",
       {{Step::Caption, 5, "1"}, {Step::Call, 0, "op"}, {Step::Caption, 5, "2"}},
       {"caption 5: 1", "op", "caption 5: 2"}},
      {"a posted operation is a barrier for rows",
       {{Step::Row, 1, "a"}, {Step::Call, 0, "op"}, {Step::Row, 1, "b"}},
       {"rows 1: a", "op", "rows 1: b"}},
      {"empty texts are rows too",
       {{Step::Row, 3, ""}, {Step::Row, 3, ""}, {Step::Caption, 4, ""}},
       {"rows 3:  ", "caption 4: "}},
  };
  for (const MergeCase& c : cases) {
    Log log;
    Channel channel([] {});
    log.attach(channel);
    for (const Step& step : c.steps) {
      switch (step.what) {
        case Step::Row:
          channel.postRow(step.key, step.text, 0);
          break;
        case Step::Caption:
          channel.postCaption(static_cast<ControlId>(step.key), step.text);
          break;
        case Step::Call:
          channel.post([&log, text = step.text] { log.lines.push_back(text); });
          break;
      }
    }
    EXPECT_FALSE(channel.drain(1s)) << c.name;
    EXPECT_EQ(log.lines, c.applied) << c.name;
  }
}

TEST(Channel, ABatchIsCappedSoThatADrainStepStaysShort) {
  Channel channel([] {});
  std::vector<std::size_t> sizes;
  channel.setSinks([&](std::uint64_t, RowBatch&& rows) { sizes.push_back(rows.size()); },
                   [](ControlId, std::string_view) {});
  for (std::size_t i = 0; i < Channel::kMaxBatchRows + 3; ++i) channel.postRow(1, "r", 0);
  channel.drain(1s);
  EXPECT_EQ(sizes, (std::vector<std::size_t>{Channel::kMaxBatchRows, 3}));
}

TEST(Channel, WakesOnceEachTimeTheQueueTurnsNonEmpty) {
  int wakes = 0;
  Channel channel([&] { ++wakes; });
  Log log;
  log.attach(channel);
  EXPECT_FALSE(channel.drain(1s));
  EXPECT_EQ(wakes, 0);
  channel.postRow(1, "a", 0);
  channel.postCaption(2, "b");
  channel.post([] {});
  channel.postRow(1, "c", 0);
  EXPECT_EQ(wakes, 1);
  EXPECT_FALSE(channel.drain(1s));
  channel.postCaption(2, "d");
  EXPECT_EQ(wakes, 2);
}

TEST(Channel, DrainStopsWhenItsBudgetIsSpent) {
  Channel channel([] {});
  int ran = 0;
  for (int i = 0; i < 10; ++i) {
    channel.post([&] {
      std::this_thread::sleep_for(5ms);
      ++ran;
    });
  }
  EXPECT_TRUE(channel.drain(12ms));
  EXPECT_GE(ran, 1);
  EXPECT_LT(ran, 10);
  // Whatever remains keeps its order and runs on the next drains.
  while (channel.drain(1s)) {
  }
  EXPECT_EQ(ran, 10);
}

TEST(Channel, ShutdownReleasesWaitingQueriesAndDropsLaterPosts) {
  std::atomic<int> woken{0};
  Channel channel([&] { ++woken; });
  Log log;
  log.attach(channel);
  std::atomic<int> ranQueries{0};
  std::vector<int> answers(3, -1);
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&, i] { answers[i] = channel.query([&] { ++ranQueries; }) ? 1 : 0; });
  }
  // Every waiter has queued its query once the wake came and three operations are pending;
  // give them a moment to be inside query() before shutting down.
  while (woken.load() == 0) std::this_thread::yield();
  std::this_thread::sleep_for(50ms);
  channel.postRow(1, "before", 0);
  channel.shutdown();
  for (std::thread& t : waiters) t.join();
  EXPECT_EQ(answers, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(ranQueries.load(), 0);

  channel.postRow(1, "after", 0);
  channel.postCaption(2, "after");
  channel.post([&] { log.lines.push_back("op"); });
  bool ran = false;
  EXPECT_FALSE(channel.query([&] { ran = true; }));  // at once: nothing drains here
  EXPECT_FALSE(ran);
  EXPECT_FALSE(channel.drain(1s));
  EXPECT_TRUE(log.lines.empty());
}

// Several workers post rows, captions, operations and queries while the window thread drains.
// Each worker's operations arrive whole and in its order, and a query sees everything its worker
// posted before it.
TEST(Channel, ManyProducersKeepTheirOrder) {
  constexpr int kProducers = 4;
  constexpr int kRows = 20000;
  std::atomic<bool> wake{false};
  Channel channel([&] { wake = true; });

  // Touched on the window thread only (sinks and operations run there).
  std::vector<int> rowsSeen(kProducers, 0);
  std::vector<int> lastCaption(kProducers, -1);
  std::vector<int> opsSeen(kProducers, 0);
  int faults = 0;
  channel.setSinks(
      [&](std::uint64_t stream, RowBatch&& rows) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
          const int p = static_cast<int>(stream);
          const std::string expected = std::to_string(p) + "/" + std::to_string(rowsSeen[p]) + "/" +
                                       std::string(rowsSeen[p] % 37, 'x') + "/end";
          if (rows.text(i) != expected || rows.tag(i) != static_cast<std::uint32_t>(rowsSeen[p])) {
            ++faults;
          }
          ++rowsSeen[p];
        }
      },
      [&](ControlId id, std::string_view text) {
        const int value = std::stoi(std::string(text));
        if (value <= lastCaption[id]) ++faults;
        lastCaption[id] = value;
      });

  std::atomic<int> running{kProducers};
  std::vector<int> queryFaults(kProducers, 0);
  std::vector<int> queriesAnswered(kProducers, 0);
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int seq = 0; seq < kRows; ++seq) {
        channel.postRow(static_cast<std::uint64_t>(p),
                        std::to_string(p) + "/" + std::to_string(seq) + "/" +
                            std::string(seq % 37, 'x') + "/end",
                        static_cast<std::uint32_t>(seq));
        channel.postCaption(p, std::to_string(seq));
        if (seq % 97 == 0) {
          channel.post([&, p, seq] {
            if (rowsSeen[p] != seq + 1 || lastCaption[p] != seq) ++faults;
            ++opsSeen[p];
          });
        }
        if (seq % 1000 == 999) {
          bool sawAll = false;
          const bool answered = channel.query([&, p, seq] { sawAll = rowsSeen[p] == seq + 1; });
          if (answered) ++queriesAnswered[p];
          if (!answered || !sawAll) ++queryFaults[p];
        }
      }
      --running;
    });
  }
  while (running.load() > 0 || wake.exchange(false)) {
    while (channel.drain(2ms)) {
    }
    std::this_thread::sleep_for(100us);
  }
  for (std::thread& t : producers) t.join();
  while (channel.drain(1s)) {
  }

  EXPECT_EQ(faults, 0);
  for (int p = 0; p < kProducers; ++p) {
    EXPECT_EQ(rowsSeen[p], kRows);
    EXPECT_EQ(lastCaption[p], kRows - 1);
    EXPECT_EQ(opsSeen[p], (kRows + 96) / 97);
    EXPECT_EQ(queryFaults[p], 0);
    EXPECT_EQ(queriesAnswered[p], kRows / 1000);
  }
}

}  // namespace
}  // namespace quorvel::form
