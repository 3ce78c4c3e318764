#include "app/qt/DialogTemplate.h"

#include <cstdint>

namespace vorn::qt {

int MulDiv(int a, int b, int c) {
  if (c == 0) return 0;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  const std::int64_t magnitude = product < 0 ? -product : product;
  const std::int64_t divisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
  const std::int64_t rounded = (magnitude + divisor / 2) / divisor;
  return static_cast<int>(negative ? -rounded : rounded);
}

Rect ToPixels(const Rect& units) {
  const int left = MulDiv(units.x, kBaseUnitX, 4);
  const int top = MulDiv(units.y, kBaseUnitY, 8);
  const int right = MulDiv(units.x + units.width, kBaseUnitX, 4);
  const int bottom = MulDiv(units.y + units.height, kBaseUnitY, 8);
  return {left, top, right - left, bottom - top};
}

}  // namespace vorn::qt
