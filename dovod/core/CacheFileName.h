#pragma once
// Where a device keeps its cache of constant replies: one file per device, named after its product
// id and a hash of its hardware path, and one file per product shared by all its devices.

#include <cstdint>
#include <string>
#include <string_view>

namespace dovod {

// 32-bit FNV-1a over the bytes of `text`.
std::uint32_t fnv1a_32(std::string_view text);

// `persistent_path` (ending in a separator) + product id + "_" + hash of `device_path` + ".xml",
// both numbers in upper-case hexadecimal without leading zeros.
std::string device_cache_file_name(std::string_view persistent_path, unsigned pid, std::string_view device_path);

// `persistent_path` + product id + ".xml".
std::string generic_cache_file_name(std::string_view persistent_path, unsigned pid);

}  // namespace dovod
