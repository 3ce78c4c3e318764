#pragma once
// Whether an embedded firmware image is the one the build made, checked before anything is offered:
// a whole number of records, the record layout the bootloader will check, and the size and CRC-32
// that the build recorded. A damaged image sent to the keyboard would leave it in its bootloader.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "app/FirmwareImage.h"

namespace vorn {

// One image as the build recorded it.
struct RecordedImage {
  int id;
  std::uint32_t size;
  std::uint32_t crc32;
};

// The two images of this build's package.
std::span<const RecordedImage> RecordedFirmwareImages();

// Empty when `image`, loaded from resource `id`, is the image the build recorded for that id;
// otherwise why not, in words for the log ("digest mismatch", "holds image 2000").
std::string CheckFirmwareImage(int id, const FirmwareImage& image);

// How the dialog checks an image it has loaded; CheckFirmwareImage unless a test passes another.
using FirmwareCheck = std::function<std::string(int id, const FirmwareImage& image)>;

}  // namespace vorn
