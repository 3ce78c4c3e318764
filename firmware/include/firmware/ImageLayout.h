#pragma once
// The record layout of a firmware image, as the keyboard's bootloader reads it. An image is a
// sequence of 16-byte records, numbers big-endian:
//
//   header    selector (0x01 or 0x02), 0x01, image name: printable ASCII zero-filled to 14 bytes,
//             beginning with the application prefix of the keyboard it is for
//   segment   0x01, load address (bytes 1-4), length (bytes 5-8, not zero), zeros
//   data      the segment's bytes, the last record zero-filled after the segment's end
//   block     0x02, zeros, length (bytes 5-8: a non-zero multiple of 16), zeros
//   data      the block's bytes
//   end       0x03, zeros
//
// The builder (ImageBuilder.h) writes this layout and the checker (RecordChecker.h) follows it; no
// other code knows it.

#include <cstdint>
#include <vector>

namespace firmware {

using Byte = std::uint8_t;
using Bytes = std::vector<Byte>;

inline constexpr int kRecordSize = 16;
inline constexpr int kNameOffset = 2;
inline constexpr int kNameSize = 14;
inline constexpr int kLengthOffset = 5;
inline constexpr int kAddressOffset = 1;

inline constexpr Byte kHeaderVersion = 0x01;
inline constexpr Byte kSegmentRecord = 0x01;
inline constexpr Byte kBlockRecord = 0x02;
inline constexpr Byte kEndRecord = 0x03;

// The first letters of every image name: the application firmware of this keyboard.
inline constexpr const char* kImageNamePrefix = "QRX";

}  // namespace firmware
