#pragma once
// HID report descriptors for transport tests: the maker's protocol collections and a few of other
// vendors, written out byte by byte so that a test shows exactly what a device would report.

#include <cstdint>
#include <initializer_list>

#include "dovod/Types.h"

namespace dovod::test_descriptors {

inline void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) append(out, part);
  return out;
}

inline Bytes cat(const Bytes& a, const Bytes& b) { return cat({a, b}); }
inline Bytes cat(const Bytes& a, const Bytes& b, const Bytes& c) { return cat({a, b, c}); }
inline Bytes cat(const Bytes& a, const Bytes& b, const Bytes& c, const Bytes& d) {
  return cat({a, b, c, d});
}

// One application collection with one numbered report of `payload` bytes, as input and as output,
// each a single data item: the layout of the maker's protocol collections.
inline Bytes collection(std::uint16_t page, std::uint16_t usage, std::uint8_t report_id,
                        std::uint8_t payload) {
  const Byte page_lo = page & 0xFF, page_hi = page >> 8;
  const Byte usage_lo = usage & 0xFF, usage_hi = usage >> 8;
  return {0x06, page_lo, page_hi,            // Usage Page
          0x0A, usage_lo, usage_hi,          // Usage
          0xA1, 0x01,                        // Collection (Application)
          0x85, report_id,                   // Report ID
          0x75, 0x08,                        // Report Size (8)
          0x95, payload,                     // Report Count
          0x15, 0x00, 0x26, 0xFF, 0x00,      // Logical Minimum (0), Maximum (255)
          0x0A, usage_lo, usage_hi, 0x81, 0x00,  // Usage, Input (Data, Array, Absolute)
          0x0A, usage_lo, usage_hi, 0x91, 0x00,  // Usage, Output (Data, Array, Absolute)
          0xC0};                             // End Collection
}

// Short reports: report id 0x10, 7 bytes in all. Long reports: report id 0x11, 20 bytes in all.
inline Bytes maker_short_collection() { return collection(0xFF00, 0x0001, 0x10, 6); }
inline Bytes maker_long_collection() { return collection(0xFF00, 0x0002, 0x11, 19); }
inline Bytes maker_receiver_descriptor() {
  return cat(maker_short_collection(), maker_long_collection());
}

// A whole device in one collection of long reports: on page 0xFF43, the piece that is the whole of
// its set (usage 0x0202).
inline Bytes maker_single_long_collection() { return collection(0xFF43, 0x0202, 0x11, 19); }

// Two pieces of a device on page 0xFF43: bits 1 and 2 of the pieces 1, 2 (0x06).
inline Bytes piece_descriptor() {
  return cat(collection(0xFF43, 0x0602, 0x11, 19), collection(0xFF43, 0x0604, 0x12, 19));
}

inline Bytes boot_mouse() {
  return {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01,
          0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01,
          0x75, 0x05, 0x81, 0x03, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F,
          0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};
}

inline Bytes keyboard_body() {
  return {0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08,
          0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08,
          0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
          0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00};
}

inline Bytes boot_keyboard() {
  return cat({0x05, 0x01, 0x09, 0x06, 0xA1, 0x01}, keyboard_body(), {0xC0});
}

// A keyboard interface as the maker's keyboard exposes it: keys (id 1), consumer keys (id 2) and
// the protocol's short and long collections on the same node.
inline Bytes composite_keyboard() {
  return cat({Bytes{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01}, keyboard_body(), Bytes{0xC0},
             Bytes{0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x03,
              0x19, 0x00, 0x2A, 0xFF, 0x03, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0},
             maker_receiver_descriptor()});
}

inline Bytes feature_descriptor() {
  return {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x05, 0x75, 0x08,
          0x95, 0x20, 0x09, 0x01, 0xB1, 0x02, 0xC0};
}

// A numbered and an unnumbered collection in either order.
inline Bytes mixed_ids(bool numbered_first) {
  const Bytes unnumbered{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,
                         0x95, 0x06, 0x09, 0x01, 0x81, 0x00, 0xC0};
  if (numbered_first) return cat({0xA4}, maker_short_collection(), {0xB4}, unnumbered);
  return cat(unnumbered, maker_short_collection());
}

// One bit more than the longest report allowed.
inline Bytes too_long_report() {
  return {0x85, 0x01, 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x76, 0x00, 0x01, 0x96, 0x00,
          0x02, 0x81, 0x02, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02, 0xC0};
}

}  // namespace dovod::test_descriptors
