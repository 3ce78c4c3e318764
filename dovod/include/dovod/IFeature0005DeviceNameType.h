#pragma once
// Feature 0x0005: the device's name and type. Out-parameters may be null unless said otherwise.

#include <string>

#include "dovod/Types.h"

namespace dovod {

class IFeature0005DeviceNameType {
 public:
  virtual ~IFeature0005DeviceNameType() = default;
  // The name's length in characters.
  virtual bool GetCount(int* count) = 0;
  // The whole name, read in chunks once and remembered after that.
  virtual bool GetDeviceName(std::string* name) = 0;
  // The name's bytes from charIndex on, as many as one reply carries.
  virtual bool GetDeviceNameChunk(int charIndex, Bytes* chunk) = 0;
  // `type` must be given.
  virtual bool GetDeviceType(int* type) = 0;
  virtual bool GetDeviceType(char* type) = 0;
};

}  // namespace dovod
