#include "core/LogBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/Memory.h"

namespace dovod {
namespace {

// Keeps the text ring from filling completely, so that equal offsets always mean "empty".
constexpr std::int64_t kTextMargin = 100;
constexpr std::uint32_t kMinText = 256;

// How far ahead of the writers the reader keeps memory faulted in.
constexpr std::uint64_t kAheadSlots = 8192;
constexpr std::uint64_t kAheadText = 1 << 20;

// Bounds that keep one record well inside any ring; longer names are cut.
constexpr std::size_t kMaxTag = 255;
constexpr std::size_t kMaxFunction = 511;
constexpr std::size_t kMaxMessage = 1023;

std::string_view cut(std::string_view text, std::size_t max) { return text.substr(0, max); }

std::atomic_ref<std::uint32_t> flag(std::uint32_t& filled) { return std::atomic_ref<std::uint32_t>(filled); }

// Zeroed memory straight from the system for large sizes, so untouched pages cost nothing.
// Throws std::bad_alloc like new.
void* allocate_zeroed(std::size_t size, std::size_t alignment) {
  // The slot array asks for cache-line alignment and gets it by over-allocating.
  std::size_t extra = alignment > 1 ? alignment : 0;
  void* raw = std::calloc(1, size + extra + sizeof(void*));
  if (!raw) throw std::bad_alloc();
  std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
  if (extra) start = (start + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
  reinterpret_cast<void**>(start)[-1] = raw;
  return reinterpret_cast<void*>(start);
}

void free_zeroed(void* p) {
  if (p) std::free(static_cast<void**>(p)[-1]);
}

}  // namespace

LogBuffer::LogBuffer(std::uint32_t slots, std::uint32_t text)
    : slot_count(slots < 4 ? 4 : slots),
      slot_threshold((slot_count / 3) * 2),
      text_size(text < kMinText ? kMinText : text),
      text_threshold((text_size / 3) * 2),
      slots_(static_cast<Slot*>(allocate_zeroed(std::size_t{slot_count} * sizeof(Slot), alignof(Slot)))),
      text_(static_cast<char*>(allocate_zeroed(text_size, 1))) {}

void LogBuffer::FreeMemory::operator()(void* p) const { free_zeroed(p); }

bool LogBuffer::put(const log::LogRecord& record) {
  std::string_view tag = cut(record.tag, kMaxTag);
  std::string_view function = cut(record.function, kMaxFunction);
  std::string_view message = cut(record.message, kMaxMessage);
  const std::uint32_t d = static_cast<std::uint32_t>(tag.size() + function.size() + message.size() + 5);

  std::uint64_t w = write_.load(std::memory_order_acquire);
  std::uint32_t skip = 0;
  for (;;) {
    std::uint64_t r = read_.load(std::memory_order_acquire);
    std::uint32_t w_offset = offset_of(w);
    skip = text_size - w_offset < d ? text_size - w_offset : 0;
    std::uint32_t used_text = (w_offset + text_size - offset_of(r)) % text_size;
    std::uint32_t used_slots = (index_of(w) + slot_count - index_of(r)) % slot_count;
    if (static_cast<std::int64_t>(used_text) >=
            static_cast<std::int64_t>(text_size) - skip - d - kTextMargin ||
        used_slots >= slot_count - 2)
      return false;
    std::uint64_t next = position((index_of(w) + 1) % slot_count, (w_offset + skip + d) % text_size);
    if (write_.compare_exchange_weak(w, next, std::memory_order_seq_cst, std::memory_order_acquire)) break;
  }

  Slot& slot = slots_[index_of(w)];
  slot.skip = skip;
  slot.monotonic_us = record.monotonic_us;
  slot.wall_us = record.wall_us;
  slot.thread_id = record.thread_id;
  slot.level = record.level;
  slot.length = d;
  char* p = text_.get() + (skip ? 0 : offset_of(w));
  *p++ = '-';
  std::memcpy(p, tag.data(), tag.size());
  p += tag.size();
  *p++ = '-';
  *p++ = '\0';
  std::memcpy(p, function.data(), function.size());
  p += function.size();
  *p++ = '\0';
  std::memcpy(p, message.data(), message.size());
  p[message.size()] = '\0';
  flag(slot.filled).store(1, std::memory_order_release);
  return true;
}

bool LogBuffer::take_oldest(log::LogRecord& record, std::uint64_t& next) {
  std::uint64_t r = read_.load(std::memory_order_relaxed);
  Slot& slot = slots_[index_of(r)];
  if (flag(slot.filled).exchange(0, std::memory_order_acq_rel) == 0) return false;
  const char* text = text_.get() + (slot.skip ? 0 : offset_of(r));
  // The record is "-tag-\0function\0message\0", written by put() from strings without zeros.
  std::string_view tag_column(text);
  std::string_view function(text + tag_column.size() + 1);
  std::string_view message(function.data() + function.size() + 1);
  record.monotonic_us = slot.monotonic_us;
  record.wall_us = slot.wall_us;
  record.thread_id = slot.thread_id;
  record.level = slot.level;
  record.tag = tag_column.substr(1, tag_column.size() - 2);
  record.function = function;
  record.message = message;
  next = position((index_of(r) + 1) % slot_count, (offset_of(r) + slot.skip + slot.length) % text_size);
  return true;
}

void LogBuffer::release_oldest(std::uint64_t next) { read_.store(next, std::memory_order_release); }

void LogBuffer::prefault_ahead() {
  std::uint64_t w = write_.load(std::memory_order_acquire);
  // At least the first third, which is used before the buffer grows; then in steps of half the
  // distance, so that most calls find nothing to do.
  std::uint64_t slot_goal = std::min<std::uint64_t>(
      slot_count, std::max<std::uint64_t>(slot_count - slot_threshold, std::uint64_t{index_of(w)} + kAheadSlots));
  if (ready_slots_ + kAheadSlots / 2 <= slot_goal || (slot_goal == slot_count && ready_slots_ < slot_count)) {
    platform::Memory::prefault(&slots_[ready_slots_], (slot_goal - ready_slots_) * sizeof(Slot));
    ready_slots_ = static_cast<std::uint32_t>(slot_goal);
  }
  std::uint64_t text_goal = std::min<std::uint64_t>(
      text_size, std::max<std::uint64_t>(text_size - text_threshold, std::uint64_t{offset_of(w)} + kAheadText));
  if (ready_text_ + kAheadText / 2 <= text_goal || (text_goal == text_size && ready_text_ < text_size)) {
    platform::Memory::prefault(text_.get() + ready_text_, text_goal - ready_text_);
    ready_text_ = static_cast<std::uint32_t>(text_goal);
  }
}

std::uint32_t LogBuffer::used_slots() const {
  std::uint64_t r = read_.load(std::memory_order_acquire);
  std::uint64_t w = write_.load(std::memory_order_acquire);
  return (index_of(w) + slot_count - index_of(r)) % slot_count;
}

std::uint32_t LogBuffer::used_text() const {
  std::uint64_t r = read_.load(std::memory_order_acquire);
  std::uint64_t w = write_.load(std::memory_order_acquire);
  return (offset_of(w) + text_size - offset_of(r)) % text_size;
}

}  // namespace dovod
