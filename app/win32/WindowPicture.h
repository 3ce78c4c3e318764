#pragma once
// A picture of a window as it is drawn on screen, frame included, written as a PNG file through the
// system's imaging codecs. On the window's thread.

#include <filesystem>

struct HWND__;

namespace vorn::win32 {

// Copies `window` into a bitmap of its size and writes it to `file`, showing the window first when it
// is not yet shown; false when the window has no size, the copy or the encoding fails, or the file
// cannot be written (a partial file is removed).
bool SaveWindowPicture(HWND__* window, const std::filesystem::path& file);

}  // namespace vorn::win32
