#include "app/ProductStrings.h"

namespace vorn {
namespace {

std::wstring replace_all(std::wstring_view text, const ProductString& product) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find(product.placeholder, from);
    if (at == std::wstring_view::npos) break;
    out.append(text.substr(from, at - from));
    out.append(product.replacement);
    from = at + product.placeholder.size();
  }
  out.append(text.substr(from));
  return out;
}

}  // namespace

std::wstring FillProductStrings(std::wstring_view text) {
  return replace_all(replace_all(text, kProductName), kPackageVersion);
}

}  // namespace vorn
