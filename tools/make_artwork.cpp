// Draws the tool's own artwork: the application icon (a keyboard with an update arrow) in eight
// sizes and the product picture (the keyboard). Writes the pixels as a C++ source for the Linux
// build and as two .ico files for the Windows resource script.
//
//   vorn_make_artwork <output folder>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

// Colours are 0xAARRGGBB, as AppIcons.h hands them out.
constexpr std::uint32_t kBody = 0xFF2B3440;
constexpr std::uint32_t kBodyEdge = 0xFF161B22;
constexpr std::uint32_t kKey = 0xFFD9DEE5;
constexpr std::uint32_t kAccentKey = 0xFF4FA3E0;
constexpr std::uint32_t kBadge = 0xFF2E9E4F;
constexpr std::uint32_t kArrow = 0xFFFFFFFF;

// One filled shape in the drawing's own units.
struct Shape {
  enum Kind { kRoundRect, kCircle, kTriangle } kind;
  double a, b, c, d, e, f;  // round rect: x0 y0 x1 y1 radius; circle: cx cy r; triangle: 3 points
  std::uint32_t colour;

  bool covers(double x, double y) const {
    switch (kind) {
      case kRoundRect: {
        if (x < a || x > c || y < b || y > d) return false;
        double dx = std::max({a + e - x, 0.0, x - (c - e)});
        double dy = std::max({b + e - y, 0.0, y - (d - e)});
        return dx * dx + dy * dy <= e * e;
      }
      case kCircle:
        return (x - a) * (x - a) + (y - b) * (y - b) <= c * c;
      case kTriangle: {
        auto side = [x, y](double x0, double y0, double x1, double y1) {
          return (x1 - x0) * (y - y0) - (y1 - y0) * (x - x0);
        };
        double s0 = side(a, b, c, d), s1 = side(c, d, e, f), s2 = side(e, f, a, b);
        return (s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0);
      }
    }
    return false;
  }
};

struct Drawing {
  double width, height;       // in the drawing's units
  std::vector<Shape> shapes;  // painted in order, later over earlier
};

struct Image {
  int width, height;
  std::vector<std::uint32_t> pixels;
};

// Each pixel is the average of 5 x 5 samples, so edges stay smooth down to 16 pixels.
Image render(const Drawing& drawing, int width, int height) {
  constexpr int kSamples = 5;
  Image image{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
  for (int py = 0; py < height; ++py) {
    for (int px = 0; px < width; ++px) {
      double sum[4] = {0, 0, 0, 0};  // premultiplied red, green, blue, and alpha
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          double x = (px + (sx + 0.5) / kSamples) * drawing.width / width;
          double y = (py + (sy + 0.5) / kSamples) * drawing.height / height;
          std::uint32_t colour = 0;
          for (const Shape& shape : drawing.shapes) {
            if (shape.covers(x, y)) colour = shape.colour;
          }
          double alpha = (colour >> 24) / 255.0;
          for (int k = 0; k < 3; ++k) sum[k] += alpha * ((colour >> (16 - 8 * k)) & 0xFF);
          sum[3] += alpha;
        }
      }
      double alpha = sum[3] / (kSamples * kSamples);
      std::uint32_t pixel = 0;
      if (alpha > 0) {
        pixel = static_cast<std::uint32_t>(std::lround(alpha * 255)) << 24;
        for (int k = 0; k < 3; ++k) {
          pixel |= static_cast<std::uint32_t>(std::lround(std::min(255.0, sum[k] / sum[3]))) << (16 - 8 * k);
        }
      }
      image.pixels[static_cast<std::size_t>(py) * width + px] = pixel;
    }
  }
  return image;
}

// Rows of keys across [x0, x1], `count` keys a row, the last row holding a space bar.
void add_keys(std::vector<Shape>& shapes, double x0, double x1, double y0, int rows, int count, double gap_ratio) {
  double pitch = (x1 - x0) / count;
  double gap = pitch * gap_ratio;
  double radius = gap * 0.6;
  for (int row = 0; row < rows; ++row) {
    double top = y0 + row * pitch;
    for (int k = 0; k < count; ++k) {
      bool last_row = row == rows - 1;
      int space_from = count / 4, space_to = count - count / 4;  // the space bar's keys
      if (last_row && k > space_from && k < space_to) continue;
      double right = last_row && k == space_from ? x0 + space_to * pitch : x0 + (k + 1) * pitch;
      bool accent = row == 0 && k == 0;
      shapes.push_back({Shape::kRoundRect, x0 + k * pitch + gap / 2, top + gap / 2, right - gap / 2, top + pitch - gap / 2,
                        radius, 0, accent ? kAccentKey : kKey});
    }
  }
}

// The icon in a 100 x 100 frame: a keyboard with a green badge that carries a downward arrow.
Drawing icon_drawing() {
  Drawing d{100, 100, {}};
  d.shapes.push_back({Shape::kRoundRect, 3, 21, 97, 79, 9, 0, kBodyEdge});
  d.shapes.push_back({Shape::kRoundRect, 5, 23, 95, 77, 7.5, 0, kBody});
  add_keys(d.shapes, 11, 89, 29, 4, 7, 0.22);
  d.shapes.push_back({Shape::kCircle, 74, 72, 25, 0, 0, 0, 0xFFFFFFFF});
  d.shapes.push_back({Shape::kCircle, 74, 72, 22, 0, 0, 0, kBadge});
  d.shapes.push_back({Shape::kRoundRect, 69, 56, 79, 76, 2, 0, kArrow});
  d.shapes.push_back({Shape::kTriangle, 60, 72, 88, 72, 74, 88, kArrow});
  return d;
}

// The product picture in its own 126 x 85 frame: the keyboard, seen from above.
Drawing picture_drawing() {
  Drawing d{126, 85, {}};
  d.shapes.push_back({Shape::kRoundRect, 2, 12, 124, 74, 7, 0, kBodyEdge});
  d.shapes.push_back({Shape::kRoundRect, 3.5, 13.5, 122.5, 72.5, 6, 0, kBody});
  add_keys(d.shapes, 8, 118, 19, 6, 14, 0.2);
  d.shapes.push_back({Shape::kCircle, 112, 16.5, 1.2, 0, 0, 0, 0xFF3FD46A});  // the power light
  return d;
}

bool write_file(const std::string& path, const std::string& contents) {
  // Written beside and renamed, so an interrupted build never leaves a cut file behind.
  std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

void put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// An .ico file whose images are 32-bit bitmaps with alpha, bottom row first, each followed by the
// 1-bit mask that older readers use (set where a pixel is fully transparent).
std::string as_ico(const std::vector<Image>& images) {
  std::vector<std::string> bodies;
  for (const Image& image : images) {
    std::string body;
    int mask_stride = (image.width + 31) / 32 * 4;
    std::uint32_t pixel_bytes = static_cast<std::uint32_t>(image.width) * image.height * 4;
    std::uint32_t mask_bytes = static_cast<std::uint32_t>(mask_stride) * image.height;
    put32(body, 40);
    put32(body, static_cast<std::uint32_t>(image.width));
    put32(body, static_cast<std::uint32_t>(image.height * 2));
    put16(body, 1);
    put16(body, 32);
    put32(body, 0);
    put32(body, pixel_bytes + mask_bytes);
    for (int k = 0; k < 4; ++k) put32(body, 0);
    for (int y = image.height - 1; y >= 0; --y) {
      for (int x = 0; x < image.width; ++x) put32(body, image.pixels[static_cast<std::size_t>(y) * image.width + x]);
    }
    for (int y = image.height - 1; y >= 0; --y) {
      std::string row(static_cast<std::size_t>(mask_stride), '\0');
      for (int x = 0; x < image.width; ++x) {
        if ((image.pixels[static_cast<std::size_t>(y) * image.width + x] >> 24) == 0) {
          row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        }
      }
      body += row;
    }
    bodies.push_back(std::move(body));
  }
  std::string out;
  put16(out, 0);
  put16(out, 1);
  put16(out, static_cast<unsigned>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out += static_cast<char>(images[i].width >= 256 ? 0 : images[i].width);
    out += static_cast<char>(images[i].height >= 256 ? 0 : images[i].height);
    out += '\0';
    out += '\0';
    put16(out, 1);
    put16(out, 32);
    put32(out, static_cast<std::uint32_t>(bodies[i].size()));
    put32(out, offset);
    offset += static_cast<std::uint32_t>(bodies[i].size());
  }
  for (const std::string& body : bodies) out += body;
  return out;
}

std::string as_array(const std::string& name, const Image& image) {
  std::string out = "const std::uint32_t " + name + "[] = {";
  char value[16];
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    if (i % 12 == 0) out += "\n   ";
    std::snprintf(value, sizeof value, " 0x%08X,", image.pixels[i]);
    out += value;
  }
  return out + "\n};\n\n";
}

std::string as_cpp(const std::vector<Image>& icons, const Image& picture) {
  std::string out =
      "// Generated at build time by vorn_make_artwork: the application icon and the product picture.\n\n"
      "#include \"app/AppIcons.h\"\n\nnamespace vorn {\nnamespace {\n\n";
  std::string list;
  for (const Image& icon : icons) {
    std::string name = "icon_" + std::to_string(icon.width);
    out += as_array(name, icon);
    list += "{" + std::to_string(icon.width) + ", " + std::to_string(icon.height) + ", " + name + "}, ";
  }
  out += as_array("picture", picture);
  out += "}  // namespace\n\nstd::vector<IconImage> ApplicationIconImages() { return {" + list + "}; }\n\n";
  out += "IconImage ProductPicture() { return {" + std::to_string(picture.width) + ", " +
         std::to_string(picture.height) + ", picture}; }\n\n}  // namespace vorn\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vorn_make_artwork <output folder>\n";
    return 2;
  }
  const std::string folder = argv[1];
  std::vector<Image> icons;
  for (int size : {16, 24, 32, 48, 64, 96, 128, 256}) icons.push_back(render(icon_drawing(), size, size));
  Image picture = render(picture_drawing(), 126, 85);
  const std::pair<std::string, std::string> files[] = {{"app_icons.cpp", as_cpp(icons, picture)},
                                                       {"app.ico", as_ico(icons)},
                                                       {"product.ico", as_ico({picture})}};
  for (const auto& [name, contents] : files) {
    if (!write_file(folder + "/" + name, contents)) {
      std::cerr << "cannot write " << folder << "/" << name << "\n";
      return 1;
    }
  }
  return 0;
}
