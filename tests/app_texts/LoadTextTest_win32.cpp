#include <gtest/gtest.h>
#include <windows.h>

#include "app/UiText.h"

namespace vorn::testing {
namespace {

// The thread locale picks the table, as it does for the dialog.
class ThreadLocale : public ::testing::Test {
 protected:
  void TearDown() override { SetThreadLocale(saved_); }

  void Use(LANGID language) { ASSERT_TRUE(SetThreadLocale(MAKELCID(language, SORT_DEFAULT))); }

 private:
  LCID saved_ = GetThreadLocale();
};

TEST_F(ThreadLocale, LoadTextReadsTheStringResourcesOfTheThreadLocale) {
  struct Case {
    LANGID language;
    int id;
    std::wstring expected;
  } cases[] = {
      {0x0409, text::kCaption, L"Corvane Vorn Wireless Gaming Keyboard Update Tool v5.1.17"},
      {0x0407, text::kClose, L"Schlie\u00DFen"},
      {0x0411, text::kClose, L"\u9589\u3058\u308B"},
      {0x0C0A, text::kStart, L"Iniciar"},
      {0x0408, text::kClose, L"Close"},
      {0x0416, text::kStart, L"Start"},
  };
  for (const Case& c : cases) {
    Use(c.language);
    EXPECT_EQ(LoadText(c.id), c.expected) << c.language;
  }
}

// The artwork is in the executable as the window expects it: icon 128 with its eight images and
// icon 1007 at the product picture's size.
TEST(Artwork, IconResourcesLoadAtTheirSizes) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
  ASSERT_NE(group, nullptr);
  const auto* header = static_cast<const WORD*>(LockResource(LoadResource(module, group)));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header[2], 8);  // idCount of the group directory
  for (int size : {16, 32, 256}) {
    HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(128), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    DestroyIcon(icon);
  }
  HICON picture = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1007), IMAGE_ICON, 126, 85, 0));
  ASSERT_NE(picture, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(picture, &info));
  BITMAP bitmap{};
  GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
  EXPECT_EQ(bitmap.bmWidth, 126);
  EXPECT_EQ(bitmap.bmHeight, 85);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(picture);
}

}  // namespace
}  // namespace vorn::testing
