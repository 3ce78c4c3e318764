#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "app/ImagePath.h"
#include "app/ProductStrings.h"
#include "app/WideText.h"

namespace vorn::testing {
namespace {

TEST(ProductStrings, FillEveryPlaceholderWithoutRescanning) {
  EXPECT_EQ(FillProductStrings(L"Corvane %%DFU_PRODUCT_NAME%% Update Tool v%%DFU_PACKAGE_VERSION%%"),
            L"Corvane Vorn Wireless Gaming Keyboard Update Tool v5.1.17");
  EXPECT_EQ(FillProductStrings(L"%%DFU_PRODUCT_NAME%%/%%DFU_PRODUCT_NAME%%"),
            L"Vorn Wireless Gaming Keyboard/Vorn Wireless Gaming Keyboard");
  // Overlapping marks: the first whole placeholder is replaced, the rest stays text.
  EXPECT_EQ(FillProductStrings(L"%%%DFU_PACKAGE_VERSION%%%"), L"%5.1.17%");
  EXPECT_EQ(FillProductStrings(L"%%DFU_PRODUCT_NAME%"), L"%%DFU_PRODUCT_NAME%");
}

TEST(WideText, RoundTripsEveryPlaneAndReplacesBrokenUtf8) {
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  std::wstring wide = WideFromUtf8(utf8);
  EXPECT_EQ(Utf8FromWide(wide), utf8);
  EXPECT_EQ(Utf16FromWide(wide), u"a\u00e9\u20ac\U0001F600");
  // A cut sequence, a stray continuation byte and an overlong form each become U+FFFD.
  EXPECT_EQ(WideFromUtf8("x\xE2\x82"), std::wstring(L"x\uFFFD\uFFFD"));
  EXPECT_EQ(WideFromUtf8("\x80" "b"), std::wstring(L"\uFFFDb"));
  EXPECT_EQ(WideFromUtf8("\xC0\xAF"), std::wstring(L"\uFFFD\uFFFD"));
}

TEST(ImagePath, DeviceNamesBecomeDriveLettersAtAFolderBoundary) {
  std::map<wchar_t, std::wstring> devices{{L'C', L"\\Device\\HarddiskVolume1"},
                                          {L'D', L"\\Device\\HarddiskVolume10"},
                                          {L'E', L""}};
  auto lookup = [&devices](wchar_t letter) -> std::optional<std::wstring> {
    auto it = devices.find(letter);
    if (it == devices.end()) return std::nullopt;
    return it->second;
  };
  struct Case {
    std::wstring path, expected;
  } cases[] = {
      {L"\\Device\\HarddiskVolume1\\Apps\\Hubcast.exe", L"C:\\Apps\\Hubcast.exe"},
      {L"\\Device\\HarddiskVolume10\\Hubcast.exe", L"D:\\Hubcast.exe"},
      {L"C:\\Apps\\Hubcast.exe", L"C:\\Apps\\Hubcast.exe"},
      {L"X:\\in\\Device\\HarddiskVolume1\\x.exe", L"X:\\in\\Device\\HarddiskVolume1\\x.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormaliseImagePath(c.path, lookup), c.expected) << Utf8FromWide(c.path);
}

}  // namespace
}  // namespace vorn::testing
