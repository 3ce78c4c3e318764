#include "Source/Windows/PathText.h"

#include "platform/WideText_win32.h"

namespace dovod {

std::string path_text(std::wstring_view system_text) {
  std::string text = platform::to_utf8(system_text);
  // Only ASCII letters change: the bytes of a multi-byte UTF-8 character are all above 0x7f.
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace dovod
