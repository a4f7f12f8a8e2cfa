// The window-thread channel: how worker threads reach the controls. One FIFO of operations,
// applied on the window thread in order, each as a whole. Rows and captions, the bulk of the
// traffic, are batched and coalesced on their way: rows posted since the last drain reach the
// list in one insertion, and of several caption writes to one control only the last is applied
// (rows and captions commute, so merging them never reorders anything a handler could see).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "form/form.hpp"
#include "form/rows.hpp"

namespace quorvel::form {

class Channel {
 public:
  // Applies a batch of rows posted for one stream (for instance one search).
  using RowSink = std::function<void(std::uint64_t stream, RowBatch&& rows)>;
  // Applies a caption write.
  using CaptionSink = std::function<void(ControlId id, std::string_view text)>;

  // wake is called from any thread when the queue turns non-empty; the backend answers it by
  // calling drain() on the window thread soon after.
  explicit Channel(std::function<void()> wake);
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Window thread, before the first drain that has rows or captions to apply.
  void setSinks(RowSink rows, CaptionSink captions);

  // A batch stops taking rows at this size, so that one step of a drain stays short.
  static constexpr std::size_t kMaxBatchRows = 1 << 16;

  // Any thread. Never block on the window thread.
  void postRow(std::uint64_t stream, std::string_view text, std::uint32_t tag);
  void postCaption(ControlId id, std::string text);
  void post(std::function<void()> op);

  // Any thread but the window thread: runs op on the window thread after every operation queued
  // before it, and waits for it. Returns false (op not run) once the channel is shut down.
  bool query(const std::function<void()>& op);

  // Window thread: applies queued operations in order until the queue is empty or the budget is
  // spent. Returns true when operations remain.
  bool drain(std::chrono::milliseconds budget = std::chrono::milliseconds(50));

  // Window thread: drops everything queued and every later post, and releases waiting queries.
  void shutdown();

 private:
  struct Op;
  struct Waiter;
  // With mutex_ held: queues op; true when the queue was empty before.
  bool push(std::unique_ptr<Op> op, bool barrier);
  void forget(const Op* op);  // with mutex_ held: op leaves the queue

  std::function<void()> wake_;
  RowSink rowSink_;
  CaptionSink captionSink_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::deque<std::unique_ptr<Op>> queue_;
  bool closed_ = false;
  // Since the last barrier (post or query): the rows operation that further rows of its stream
  // join, and the pending caption writes, which a later write to the same control replaces.
  Op* openRows_ = nullptr;
  std::vector<Op*> openCaptions_;
};

}  // namespace quorvel::form
