// Writes the firmware package that the update application embeds: the two images as files (for the
// Windows resource script), as a C++ source that links them into a Linux executable, and a header
// with each image's size and CRC-32, which the tool compares before it sends an image. The images
// come from the firmware format library that the device simulator's bootloader checks with, so the
// package and the simulator cannot disagree about the record format.
//
//   vorn_make_firmware_images <output folder>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>

#include "firmware/Crc32.h"
#include "firmware/ImageBuilder.h"

namespace {

struct Image {
  int id;
  firmware::ImageSpec spec;
};

bool write_file(const std::string& path, const std::string& contents) {
  // Written beside and renamed, so a build interrupted halfway never leaves a cut image behind.
  std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

std::string as_cpp(const Image (&images)[2], const firmware::Bytes (&data)[2]) {
  std::string out =
      "// Generated at build time by vorn_make_firmware_images: the firmware package as data linked\n"
      "// into the executable, registered as resources of type \"FIRMWARE\".\n\n"
      "#include <cstdint>\n\n#include \"app/platform/LinkedResources.h\"\n\nnamespace {\n\n";
  char hex[8];
  for (int i = 0; i < 2; ++i) {
    out += "alignas(16) const std::uint8_t image_" + std::to_string(images[i].id) + "[] = {";
    for (std::size_t k = 0; k < data[i].size(); ++k) {
      if (k % 16 == 0) out += "\n ";
      std::snprintf(hex, sizeof hex, " 0x%02x,", data[i][k]);
      out += hex;
    }
    out += "\n};\n\n";
  }
  out += "struct Registration {\n  Registration() {\n";
  for (const Image& image : images) {
    std::string name = "image_" + std::to_string(image.id);
    out += "    vorn::platform::RegisterLinkedResource({L\"FIRMWARE\", " + std::to_string(image.id) + ", " +
           name + ", sizeof " + name + "});\n";
  }
  out += "  }\n} const registration;\n\n}  // namespace\n";
  return out;
}

std::string as_recorded_header(const Image (&images)[2], const firmware::Bytes (&data)[2]) {
  std::string out =
      "// Generated at build time by vorn_make_firmware_images: the size and CRC-32 of each image of the\n"
      "// firmware package, as the build made them.\n\n"
      "#pragma once\n\n#include \"app/FirmwareIntegrity.h\"\n\nnamespace vorn {\n\n"
      "inline constexpr RecordedImage kRecordedImages[] = {\n";
  char line[80];
  for (int i = 0; i < 2; ++i) {
    std::snprintf(line, sizeof line, "    {%d, %zuu, 0x%08xu},\n", images[i].id, data[i].size(),
                  static_cast<unsigned>(firmware::Crc32(data[i])));
    out += line;
  }
  out += "};\n\n}  // namespace vorn\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vorn_make_firmware_images <output folder>\n";
    return 2;
  }
  const std::string folder = argv[1];
  const Image images[2] = {{2000, firmware::second_image_spec()}, {2001, firmware::first_image_spec()}};
  firmware::Bytes data[2];
  for (int i = 0; i < 2; ++i) {
    data[i] = firmware::build_firmware_image(images[i].spec);
    std::string bytes(data[i].begin(), data[i].end());
    std::string path = folder + "/firmware_" + std::to_string(images[i].id) + ".bin";
    if (!write_file(path, bytes)) {
      std::cerr << "cannot write " << path << "\n";
      return 1;
    }
  }
  const std::pair<std::string, std::string> sources[] = {
      {folder + "/firmware_resources.cpp", as_cpp(images, data)},
      {folder + "/recorded_images.h", as_recorded_header(images, data)},
  };
  for (const auto& [path, contents] : sources) {
    if (!write_file(path, contents)) {
      std::cerr << "cannot write " << path << "\n";
      return 1;
    }
  }
  return 0;
}
