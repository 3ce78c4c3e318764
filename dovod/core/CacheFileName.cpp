#include "core/CacheFileName.h"

#include <cstdio>

namespace dovod {
namespace {

std::string hex(std::uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

std::uint32_t fnv1a_32(std::string_view text) {
  std::uint32_t hash = 0x811C9DC5u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

std::string device_cache_file_name(std::string_view persistent_path, unsigned pid, std::string_view device_path) {
  return std::string(persistent_path) + hex(pid) + "_" + hex(fnv1a_32(device_path)) + ".xml";
}

std::string generic_cache_file_name(std::string_view persistent_path, unsigned pid) {
  return std::string(persistent_path) + hex(pid) + ".xml";
}

}  // namespace dovod
