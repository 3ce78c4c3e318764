#pragma once
// A picture of a window as it is drawn, frame included, written as a PNG file through the system's
// imaging codecs. On the window's thread.

#include <filesystem>

struct HWND__;

namespace vorn::win32 {

// Draws `window` into a bitmap of its size and writes it to `file`; false when the window has no
// size, the drawing or the encoding fails, or the file cannot be written (a partial file is removed).
bool SaveWindowPicture(HWND__* window, const std::filesystem::path& file);

}  // namespace vorn::win32
