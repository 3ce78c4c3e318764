#pragma once
// The lock-free buffer between the threads that log and the one thread that writes the log file.
// Writers claim a slot and text space with one 64-bit compare-and-exchange of the write position
// and hand the filled slot over with a per-slot flag; only one reader at a time drains it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

namespace dovod::log {

// One message as it is handed to the buffer and, later, to the file.
struct LogRecord {
  std::uint64_t monotonic_us = 0;
  std::uint64_t wall_us = 0;
  std::uint32_t thread_id = 0;
  unsigned level = 0;
  std::string_view tag;
  std::string_view function;
  std::string_view message;
};

}  // namespace dovod::log

namespace dovod {

class LogBuffer {
 public:
  // The sizes of the first buffer.
  static constexpr std::uint32_t kFirstSlots = 30000;
  static constexpr std::uint32_t kFirstText = 3000000;

  LogBuffer(std::uint32_t slot_count, std::uint32_t text_size);
  LogBuffer(const LogBuffer&) = delete;
  LogBuffer& operator=(const LogBuffer&) = delete;

  // Copies the message in; false when the buffer has no room for it. Any thread, no lock.
  bool put(const log::LogRecord& record);

  // Hands the oldest message to `sink` and frees its space. False when the buffer is empty; true
  // also when the oldest slot is claimed but not yet filled (nothing is written then). One caller
  // at a time.
  template <typename Sink>
  bool output_one_message(Sink&& sink);

  // Keeps the pages a little ahead of the writers faulted in, so that the callers of xLog do not
  // take the page faults of fresh memory; only as much memory as is about to be used becomes
  // resident. Safe while others write to the buffer; one caller at a time (the reader).
  void prefault_ahead();

  std::uint32_t used_slots() const;
  std::uint32_t used_text() const;

  const std::uint32_t slot_count;
  const std::uint32_t slot_threshold;
  const std::uint32_t text_size;
  const std::uint32_t text_threshold;

  // Ends buffered logging: the log thread writes out what is pending and stops, and from then on
  // every file message is written by its caller. A clean-up routine; runs once.
  static void shutdown();

 private:
  // Plain data, so that a new buffer is memory fresh from the system, zeroed page by page only
  // when first used: growing never stalls on initialising tens of megabytes. `filled` is the
  // inverse of a consumed flag (1 = holds an unwritten message), so zero means free.
  struct alignas(64) Slot {
    std::uint32_t skip;
    std::uint32_t thread_id;
    std::uint64_t monotonic_us;
    std::uint64_t wall_us;
    std::uint32_t level;
    std::uint32_t length;
    std::uint32_t filled;
  };
  struct FreeMemory {
    void operator()(void* p) const;
  };

  static std::uint32_t index_of(std::uint64_t position) { return static_cast<std::uint32_t>(position); }
  static std::uint32_t offset_of(std::uint64_t position) { return static_cast<std::uint32_t>(position >> 32); }
  static std::uint64_t position(std::uint32_t index, std::uint32_t offset) {
    return (static_cast<std::uint64_t>(offset) << 32) | index;
  }
  bool take_oldest(log::LogRecord& record, std::uint64_t& next);
  void release_oldest(std::uint64_t next);

  std::unique_ptr<Slot[], FreeMemory> slots_;
  std::unique_ptr<char[], FreeMemory> text_;
  std::uint32_t ready_slots_ = 0;  // slots and text bytes from the start already faulted in
  std::uint32_t ready_text_ = 0;
  // Apart, so that the reader's moves do not slow down the writers' claims.
  alignas(64) std::atomic<std::uint64_t> read_{0};
  alignas(64) std::atomic<std::uint64_t> write_{0};
};

template <typename Sink>
bool LogBuffer::output_one_message(Sink&& sink) {
  log::LogRecord record;
  std::uint64_t next = 0;
  std::uint64_t r = read_.load(std::memory_order_acquire);
  if (r == write_.load(std::memory_order_acquire)) return false;
  if (!take_oldest(record, next)) return true;
  sink(record);
  release_oldest(next);
  return true;
}

}  // namespace dovod
