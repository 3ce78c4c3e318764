#include "core/LogBuffer.h"

#include <cstring>

namespace dovod {
namespace {

// Keeps the text ring from filling completely, so that equal offsets always mean "empty".
constexpr std::int64_t kTextMargin = 100;
constexpr std::uint32_t kMinText = 256;

// Bounds that keep one record well inside any ring; longer names are cut.
constexpr std::size_t kMaxTag = 255;
constexpr std::size_t kMaxFunction = 511;
constexpr std::size_t kMaxMessage = 1023;

std::string_view cut(std::string_view text, std::size_t max) { return text.substr(0, max); }

}  // namespace

LogBuffer::LogBuffer(std::uint32_t slots, std::uint32_t text)
    : slot_count(slots < 4 ? 4 : slots),
      slot_threshold((slot_count / 3) * 2),
      text_size(text < kMinText ? kMinText : text),
      text_threshold((text_size / 3) * 2),
      slots_(new Slot[slot_count]),
      text_(new char[text_size]) {}

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
  slot.consumed.store(0, std::memory_order_release);
  return true;
}

bool LogBuffer::take_oldest(log::LogRecord& record, std::uint64_t& next) {
  std::uint64_t r = read_.load(std::memory_order_relaxed);
  Slot& slot = slots_[index_of(r)];
  if (slot.consumed.exchange(1, std::memory_order_acq_rel) != 0) return false;
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
