#pragma once

#include "dovod/IFeature0005DeviceNameType.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion0005 {
 public:
  IFeatureForceInclusion0005();
};

class Feature0005DeviceNameType : public Feature, public IFeature0005DeviceNameType {
 public:
  static constexpr int kId = 0x0005;

  Feature0005DeviceNameType(Byte index, std::weak_ptr<IDevice> device);

  bool GetCount(int* count) override;
  bool GetDeviceName(std::string* name) override;
  bool GetDeviceNameChunk(int charIndex, Bytes* chunk) override;
  bool GetDeviceType(int* type) override;
  bool GetDeviceType(char* type) override;

 private:
  bool read_type(Byte& type);

  bool haveName_ = false;
  std::string name_;
};

}  // namespace dovod
