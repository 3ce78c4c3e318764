#pragma once
// The tool's own artwork, drawn by our build-time generator: the application icon in its eight
// sizes and the product picture. Pixels are 0xAARRGGBB, rows top to bottom.

#include <cstdint>
#include <vector>

namespace vorn {

struct IconImage {
  int width = 0;
  int height = 0;
  const std::uint32_t* pixels = nullptr;  // width * height values, lasting as long as the program
};

// The application icon (resource 128): 16 to 256 pixels square, smallest first.
std::vector<IconImage> ApplicationIconImages();

// The product picture (resource 1007): 126 x 85 pixels.
IconImage ProductPicture();

}  // namespace vorn
