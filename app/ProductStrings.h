#pragma once
// The product strings that every UI text may carry as placeholders.

#include <string>
#include <string_view>

namespace vorn {

struct ProductString {
  std::wstring_view placeholder;
  std::wstring_view replacement;
};

inline constexpr ProductString kProductName{L"%%DFU_PRODUCT_NAME%%", L"Vorn Wireless Gaming Keyboard"};
inline constexpr ProductString kPackageVersion{L"%%DFU_PACKAGE_VERSION%%", L"5.1.17"};

// Fills in the product name, then the package version, each scanned left to right without
// rescanning what was inserted.
std::wstring FillProductStrings(std::wstring_view text);

}  // namespace vorn
