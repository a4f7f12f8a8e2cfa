#include "form/channel.hpp"

#include <algorithm>

namespace quorvel::form {

// A query's caller waits on this, on its own stack, until the window thread ran its operation or
// the channel shut down.
struct Channel::Waiter {
  const std::function<void()>* op = nullptr;
  enum class State { Queued, Done, Dropped } state = State::Queued;
};

struct Channel::Op {
  enum class Type { Rows, Caption, Call, Query } type;
  std::uint64_t stream = 0;    // Rows
  RowBatch rows;               // Rows
  ControlId control = 0;       // Caption
  std::string text;            // Caption
  std::function<void()> call;  // Call
  Waiter* waiter = nullptr;    // Query
};

Channel::Channel(std::function<void()> wake) : wake_(std::move(wake)) {}

Channel::~Channel() {
  shutdown();
}

void Channel::setSinks(RowSink rows, CaptionSink captions) {
  std::lock_guard lock(mutex_);
  rowSink_ = std::move(rows);
  captionSink_ = std::move(captions);
}

bool Channel::push(std::unique_ptr<Op> op, bool barrier) {
  const bool wasEmpty = queue_.empty();
  if (barrier) {
    openRows_ = nullptr;
    openCaptions_.clear();
  } else if (op->type == Op::Type::Rows) {
    openRows_ = op.get();
  } else {
    openCaptions_.push_back(op.get());
  }
  queue_.push_back(std::move(op));
  return wasEmpty;
}

void Channel::forget(const Op* op) {
  if (openRows_ == op) openRows_ = nullptr;
  std::erase(openCaptions_, op);
}

void Channel::postRow(std::uint64_t stream, std::string_view text, std::uint32_t tag) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (openRows_ != nullptr && openRows_->stream == stream &&
        openRows_->rows.size() < kMaxBatchRows) {
      openRows_->rows.add(text, tag);
      return;
    }
    auto op = std::make_unique<Op>(Op::Type::Rows);
    op->stream = stream;
    op->rows.add(text, tag);
    wake = push(std::move(op), false);
  }
  if (wake && wake_) wake_();
}

void Channel::postCaption(ControlId id, std::string text) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    for (Op* pending : openCaptions_) {
      if (pending->control == id) {
        pending->text = std::move(text);
        return;
      }
    }
    auto op = std::make_unique<Op>(Op::Type::Caption);
    op->control = id;
    op->text = std::move(text);
    wake = push(std::move(op), false);
  }
  if (wake && wake_) wake_();
}

void Channel::post(std::function<void()> call) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    auto op = std::make_unique<Op>(Op::Type::Call);
    op->call = std::move(call);
    wake = push(std::move(op), true);
  }
  if (wake && wake_) wake_();
}

bool Channel::query(const std::function<void()>& call) {
  Waiter waiter;
  waiter.op = &call;
  std::unique_lock lock(mutex_);
  if (closed_) return false;
  auto op = std::make_unique<Op>(Op::Type::Query);
  op->waiter = &waiter;
  if (push(std::move(op), true) && wake_) {
    lock.unlock();
    wake_();
    lock.lock();
  }
  done_.wait(lock, [&] { return waiter.state != Waiter::State::Queued; });
  return waiter.state == Waiter::State::Done;
}

bool Channel::drain(std::chrono::milliseconds budget) {
  const auto deadline = std::chrono::steady_clock::now() + budget;
  std::unique_lock lock(mutex_);
  while (!queue_.empty()) {
    std::unique_ptr<Op> op = std::move(queue_.front());
    queue_.pop_front();
    forget(op.get());
    // Applied without the lock: producers keep posting meanwhile, and an operation may post.
    lock.unlock();
    switch (op->type) {
      case Op::Type::Rows:
        if (rowSink_) rowSink_(op->stream, std::move(op->rows));
        break;
      case Op::Type::Caption:
        if (captionSink_) captionSink_(op->control, op->text);
        break;
      case Op::Type::Call:
        op->call();
        break;
      case Op::Type::Query:
        (*op->waiter->op)();
        break;
    }
    lock.lock();
    if (op->type == Op::Type::Query) {
      op->waiter->state = Waiter::State::Done;
      done_.notify_all();
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
  }
  return !queue_.empty();
}

void Channel::shutdown() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  for (const auto& op : queue_) {
    if (op->type == Op::Type::Query) op->waiter->state = Waiter::State::Dropped;
  }
  queue_.clear();
  openRows_ = nullptr;
  openCaptions_.clear();
  done_.notify_all();
}

}  // namespace quorvel::form
