#pragma once
// The firmware package: two images embedded in the executable as resources of type "FIRMWARE",
// each sent to the keyboard's bootloader in 16-byte packets. The images are never interpreted here.

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/platform/ModuleResource.h"
#include "dovod/Types.h"

namespace vorn {

inline constexpr std::wstring_view kFirmwareResourceType = L"FIRMWARE";
inline constexpr int kFirmwareSentSecond = 2000;
inline constexpr int kFirmwareSentFirst = 2001;
inline constexpr std::uint32_t kPacketSize = 16;

struct FirmwareImage {
  std::uint32_t size = 0;
  const dovod::Byte* data = nullptr;  // the resource in place, not a copy
  std::uint32_t packetCount = 0;      // size / 16, plus one for a partial last record
  std::uint32_t offset = 0;           // bytes the keyboard has accepted; a multiple of 16

  // The 16 bytes at the offset, when that many remain and `index` is within packetCount; otherwise
  // empty. The index only bounds the request, so a trailing partial record is never sent.
  dovod::Bytes nextPacket(std::uint32_t index) const;
};

// How a resource is looked up; the executable's own resources unless a test passes another.
using ResourceFinder = std::function<platform::ModuleResource(std::wstring_view type, int id)>;

// Fills `image` from resource `id` of type "FIRMWARE". Not found: false with `image` untouched;
// found but empty or unmappable: false with `image` zeroed.
bool LoadFirmwareResource(int id, FirmwareImage& image,
                          const ResourceFinder& find = platform::FindModuleResource);

}  // namespace vorn
