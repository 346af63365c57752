// A walk over the blocks of a track on a thread of its own, for a thread that follows it block by
// block: the follower waits until the blocks it wants are done and then sees all they wrote.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <system_error>
#include <thread>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace engine {

// How far one thread's walk over a track has come, for threads that follow it: a follower that
// has waited for an offset sees everything the walk wrote before it.
class WalkProgress {
 public:
  // Whether the walk has passed end.
  bool reached(std::uint32_t end) const { return done_.load(std::memory_order_acquire) >= end; }

  // A block takes some microseconds, less than putting a thread to sleep and waking it again
  // costs, so the follower spins for a while before it sleeps.
  void waitFor(std::uint32_t end) {
    for (int spins = 0;; ++spins) {
      const std::uint32_t done = done_.load(std::memory_order_acquire);
      if (done >= end) return;
      if (spins < kSpinsBeforeSleep) {
        spinPause();
      } else {
        done_.wait(done, std::memory_order_acquire);
      }
    }
  }

  void publish(std::uint32_t end) {
    done_.store(end, std::memory_order_release);
    done_.notify_one();
  }

 private:
  static constexpr int kSpinsBeforeSleep = 4000;

  static void spinPause() {
#if defined(__SSE2__)
    _mm_pause();
#endif
  }

  std::atomic<std::uint32_t> done_{0};
};

class BlocksAhead {
 public:
  // step(begin, end) is run on [0, walkEnd) in blocks of blockBytes, in order.
  using Step = std::function<void(std::uint32_t begin, std::uint32_t end)>;

  BlocksAhead(std::uint32_t walkEnd, std::uint32_t blockBytes, Step step)
      : walkEnd_(walkEnd), blockBytes_(blockBytes), step_(std::move(step)) {}
  BlocksAhead(const BlocksAhead&) = delete;
  BlocksAhead& operator=(const BlocksAhead&) = delete;
  ~BlocksAhead() {
    if (thread_.joinable()) thread_.join();
  }

  // False when no thread could be started; the caller then walks the blocks itself.
  bool start() {
    try {
      thread_ = std::thread([this] { walkAll(); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  // Whether the blocks of [0, end) are done; what they wrote is then seen.
  bool reached(std::uint32_t end) const { return done_.reached(end); }
  void waitFor(std::uint32_t end) { done_.waitFor(end); }

  // The walk ends after the block in hand, for a follower that wants no more of it; nothing
  // may wait for a block after that.
  void cancel() { cancelled_.store(true, std::memory_order_relaxed); }

 private:
  void walkAll() {
    for (std::uint32_t begin = 0; begin < walkEnd_;) {
      if (cancelled_.load(std::memory_order_relaxed)) return;
      const std::uint32_t end = walkEnd_ - begin > blockBytes_ ? begin + blockBytes_ : walkEnd_;
      step_(begin, end);
      done_.publish(end);
      begin = end;
    }
  }

  const std::uint32_t walkEnd_;
  const std::uint32_t blockBytes_;
  const Step step_;
  WalkProgress done_;
  std::atomic<bool> cancelled_{false};
  std::thread thread_;
};

}  // namespace engine
