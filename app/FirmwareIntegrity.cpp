#include "app/FirmwareIntegrity.h"

#include "firmware/Crc32.h"
#include "firmware/ImageCheck.h"
#include "recorded_images.h"

namespace vorn {

std::span<const RecordedImage> RecordedFirmwareImages() { return kRecordedImages; }

std::string CheckFirmwareImage(int id, const FirmwareImage& image) {
  if (!image.data || image.size == 0) return "no data";
  const std::span<const std::uint8_t> bytes(image.data, image.size);
  std::string layout = firmware::CheckImageLayout(bytes);
  if (!layout.empty()) return layout;

  const RecordedImage* expected = nullptr;
  for (const RecordedImage& recorded : RecordedFirmwareImages()) {
    if (recorded.id == id) expected = &recorded;
  }
  if (!expected) return "no size and digest recorded for it";
  const std::uint32_t crc = firmware::Crc32(bytes);
  if (image.size == expected->size && crc == expected->crc32) return {};
  // A well-formed image under the wrong id: the two resources were swapped.
  for (const RecordedImage& other : RecordedFirmwareImages()) {
    if (other.id != id && image.size == other.size && crc == other.crc32) {
      return "holds image " + std::to_string(other.id);
    }
  }
  if (image.size != expected->size) {
    return "size " + std::to_string(image.size) + ", recorded " + std::to_string(expected->size);
  }
  return "digest mismatch";
}

}  // namespace vorn
