#include "firmware/ImageBuilder.h"

#include <algorithm>

namespace firmware {
namespace {

void put32(Bytes& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<Byte>(value >> 24);
  out[at + 1] = static_cast<Byte>(value >> 16);
  out[at + 2] = static_cast<Byte>(value >> 8);
  out[at + 3] = static_cast<Byte>(value);
}

Bytes record() { return Bytes(kRecordSize, 0); }

void append(Bytes& image, const Bytes& rec) { image.insert(image.end(), rec.begin(), rec.end()); }

// A small linear congruential generator: the data only has to be repeatable, not random.
struct Filler {
  std::uint32_t state;
  Byte next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<Byte>(state >> 24);
  }
};

void append_data(Bytes& image, std::uint32_t length, Filler& filler) {
  const std::uint32_t padded = (length + kRecordSize - 1) / kRecordSize * kRecordSize;
  for (std::uint32_t i = 0; i < padded; ++i) image.push_back(i < length ? filler.next() : 0);
}

}  // namespace

ImageSpec second_image_spec() {
  ImageSpec spec;
  spec.selector = 0x01;
  spec.segment_address = 0x0001F000;
  spec.segment_length = 62284;
  spec.seed = 2000;
  return spec;
}

ImageSpec first_image_spec() {
  ImageSpec spec;
  spec.selector = 0x02;
  spec.segment_address = 0x00050000;
  spec.segment_length = 120888;
  spec.seed = 2001;
  return spec;
}

Bytes build_firmware_image(const ImageSpec& spec) {
  Bytes image;
  Filler filler{spec.seed};

  Bytes header = record();
  header[0] = spec.selector;
  header[1] = kHeaderVersion;
  std::copy_n(spec.name.begin(), std::min<std::size_t>(spec.name.size(), kNameSize), header.begin() + kNameOffset);
  append(image, header);

  Bytes segment = record();
  segment[0] = kSegmentRecord;
  put32(segment, kAddressOffset, spec.segment_address);
  put32(segment, kLengthOffset, spec.segment_length);
  append(image, segment);
  append_data(image, spec.segment_length, filler);

  Bytes block = record();
  block[0] = kBlockRecord;
  put32(block, kLengthOffset, spec.block_length);
  append(image, block);
  append_data(image, spec.block_length, filler);

  Bytes end = record();
  end[0] = kEndRecord;
  append(image, end);
  return image;
}

std::vector<Bytes> cut_packets(const Bytes& image) {
  std::vector<Bytes> packets;
  for (std::size_t at = 0; at + kRecordSize <= image.size(); at += kRecordSize) {
    packets.emplace_back(image.begin() + static_cast<std::ptrdiff_t>(at),
                         image.begin() + static_cast<std::ptrdiff_t>(at + kRecordSize));
  }
  return packets;
}

}  // namespace firmware
