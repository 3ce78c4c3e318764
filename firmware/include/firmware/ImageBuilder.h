#pragma once
// Deterministic firmware images in the bootloader's record format, and the cutting of an image into
// the 16-byte packets that the update sends. The layout is described in ImageLayout.h.

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/ImageLayout.h"

namespace firmware {

struct ImageSpec {
  Byte selector = 0x01;
  std::string name = "QRX05_D0";
  std::uint32_t segment_address = 0;
  std::uint32_t segment_length = 0;
  std::uint32_t block_length = 256;
  // Seeds the pseudo-random segment and block data, so equal specs give equal images.
  std::uint32_t seed = 1;
};

// The image sent second (resource 2000): 62 608 bytes, selector 0x01, segment at 0x0001F000.
ImageSpec second_image_spec();
// The image sent first (resource 2001): 121 216 bytes, selector 0x02, segment at 0x00050000.
ImageSpec first_image_spec();

Bytes build_firmware_image(const ImageSpec& spec);

// Packet k is bytes 16k to 16k + 15; a trailing part shorter than 16 bytes is never sent.
std::vector<Bytes> cut_packets(const Bytes& image);

}  // namespace firmware
