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
#include <mutex>
#include <string>
#include <string_view>

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

  void setSinks(RowSink rows, CaptionSink captions);

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
  std::function<void()> wake_;
  RowSink rowSink_;
  CaptionSink captionSink_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::deque<Op*> queue_;
  bool closed_ = false;
  std::uint64_t applied_ = 0;  // operations applied so far, for waiting queries
  std::uint64_t posted_ = 0;
  std::size_t barrier_ = 0;  // queue index after the last operation rows and captions may not pass
};

}  // namespace quorvel::form
