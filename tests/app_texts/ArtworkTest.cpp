#include <gtest/gtest.h>

#include <string>

#include "app/AppIcons.h"

namespace vorn::testing {
namespace {

// Every image is really drawn: it has see-through corners and an opaque middle.
void ExpectDrawn(const IconImage& image, const std::string& what) {
  ASSERT_NE(image.pixels, nullptr) << what;
  auto at = [&image](int x, int y) { return image.pixels[static_cast<std::size_t>(y) * image.width + x]; };
  EXPECT_EQ(at(0, 0) >> 24, 0u) << what;
  EXPECT_EQ(at(image.width - 1, image.height - 1) >> 24, 0u) << what;
  EXPECT_EQ(at(image.width / 2, image.height / 2) >> 24, 0xFFu) << what;
}

TEST(Artwork, IconSizesAndProductPicture) {
  std::vector<IconImage> icons = ApplicationIconImages();
  ASSERT_EQ(icons.size(), 8u);
  EXPECT_EQ(icons.front().width, 16);
  EXPECT_EQ(icons.back().width, 256);
  for (std::size_t i = 0; i < icons.size(); ++i) {
    EXPECT_EQ(icons[i].width, icons[i].height);
    if (i > 0) {
      EXPECT_GT(icons[i].width, icons[i - 1].width);
    }
    ExpectDrawn(icons[i], "icon " + std::to_string(icons[i].width));
  }
  IconImage picture = ProductPicture();
  EXPECT_EQ(picture.width, 126);
  EXPECT_EQ(picture.height, 85);
  ExpectDrawn(picture, "product picture");
}

}  // namespace
}  // namespace vorn::testing
