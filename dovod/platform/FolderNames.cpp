#include "platform/Folders.h"

namespace dovod::platform {

std::string Folders::escaped_file_name(std::string_view name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace dovod::platform
