#include "app/FirmwareImage.h"

namespace vorn {

dovod::Bytes FirmwareImage::nextPacket(std::uint32_t index) const {
  if (!data || size == 0 || index > packetCount) return {};
  if (offset > size || size - offset < kPacketSize) return {};
  return dovod::Bytes(data + offset, data + offset + kPacketSize);
}

bool LoadFirmwareResource(int id, FirmwareImage& image, const ResourceFinder& find) {
  platform::ModuleResource resource = find(kFirmwareResourceType, id);
  if (!resource.found) return false;
  image = FirmwareImage{};
  if (!resource.data || resource.size == 0) return false;
  image.size = resource.size;
  image.data = resource.data;
  image.packetCount = resource.size / kPacketSize + (resource.size % kPacketSize ? 1 : 0);
  return true;
}

}  // namespace vorn
