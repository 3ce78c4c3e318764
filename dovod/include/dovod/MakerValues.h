#pragma once
// Identifiers that the maker's hardware carries. These values are our own configuration; they are
// not any real vendor's ids.

#include <array>

namespace dovod::maker {

constexpr unsigned kVendorId = 0x3A7C;

// The keyboard, in its application firmware and in its bootloader (same product id).
constexpr unsigned kKeyboardPid = 0xB3F1;
// A product that has only the long-report collection.
constexpr unsigned kLongReportOnlyPid = 0xB3F8;

// The maker's receivers occupy this product-id range.
constexpr unsigned kReceiverPidFirst = 0xC500;
constexpr unsigned kReceiverPidLast = 0xC5FF;

// One row of the receiver table: product id, receiver type code, number of device slots, and
// whether its paired devices share the receiver-wide named mutex.
struct ReceiverRow {
  unsigned pid;
  int type_code;
  int slots;
  bool shared_mutex;
};

constexpr std::array<ReceiverRow, 8> kReceivers{{
    {0xC510, 4, 6, true},    // R1
    {0xC511, 4, 2, true},    // R2
    {0xC512, 10, 2, true},   // R3
    {0xC520, 12, 1, false},  // R4
    {0xC521, 12, 1, false},  // R5
    {0xC522, 12, 7, false},  // R6
    {0xC530, 13, 1, false},  // R7
    {0xC531, 4, 1, false},   // R8
}};

// The receiver row of a product id, or null when the id is not a receiver of the table.
constexpr const ReceiverRow* receiver_row(unsigned pid) {
  for (const ReceiverRow& row : kReceivers) {
    if (row.pid == pid) return &row;
  }
  return nullptr;
}

// The products the library speaks to: the keyboard, the long-report product and the receivers of
// the table.
constexpr bool known_product(unsigned pid) {
  return pid == kKeyboardPid || pid == kLongReportOnlyPid || receiver_row(pid) != nullptr;
}

constexpr bool in_receiver_range(unsigned pid) {
  return pid >= kReceiverPidFirst && pid <= kReceiverPidLast;
}

}  // namespace dovod::maker
