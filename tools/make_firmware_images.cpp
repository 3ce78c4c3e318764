// Writes the firmware package that the update application embeds: the two images as files (for the
// Windows resource script) and as a C++ source that links them into a Linux executable. The images
// come from the same record builder that the device simulator's bootloader is tested with, so the
// package and the simulator cannot disagree about the record format.
//
//   vorn_make_firmware_images <output folder>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "sim/FirmwareImageBuilder.h"

namespace {

struct Image {
  int id;
  sim::ImageSpec spec;
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

std::string as_cpp(const Image (&images)[2], const sim::Bytes (&data)[2]) {
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vorn_make_firmware_images <output folder>\n";
    return 2;
  }
  const std::string folder = argv[1];
  const Image images[2] = {{2000, sim::second_image_spec()}, {2001, sim::first_image_spec()}};
  sim::Bytes data[2];
  for (int i = 0; i < 2; ++i) {
    data[i] = sim::build_firmware_image(images[i].spec);
    std::string bytes(data[i].begin(), data[i].end());
    std::string path = folder + "/firmware_" + std::to_string(images[i].id) + ".bin";
    if (!write_file(path, bytes)) {
      std::cerr << "cannot write " << path << "\n";
      return 1;
    }
  }
  std::string cpp_path = folder + "/firmware_resources.cpp";
  if (!write_file(cpp_path, as_cpp(images, data))) {
    std::cerr << "cannot write " << cpp_path << "\n";
    return 1;
  }
  return 0;
}
