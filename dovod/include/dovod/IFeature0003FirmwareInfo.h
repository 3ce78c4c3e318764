#pragma once
// Feature 0x0003: the device's firmware entities (application, bootloader, others) with prefix,
// version and build, and its model ids. Out-parameters may be null unless said otherwise.

#include <cstdint>
#include <string>

#include "dovod/Types.h"

namespace dovod {

class IFeature0003FirmwareInfo {
 public:
  // Entity types of GetFwInfo's fwType; other values are other firmware parts.
  static constexpr int kFwTypeApplication = 0;
  static constexpr int kFwTypeBootloader = 1;
  // Bit 0 of rdnf marks the entity that is running.
  static constexpr int kRdnfRunning = 0x01;

  virtual ~IFeature0003FirmwareInfo() = default;
  virtual bool GetEntityCount(int* count, int* unitId, int* transport, int* pid1, int* pid2, int* pid3,
                              int* extendedModelId, int cacheable) = 0;
  // Text form: version and build as four upper-case hexadecimal digits each.
  virtual bool GetFwInfo(int entity, int* fwType, std::string* prefix, std::string* version, std::string* build,
                         int* rdnf, Bytes* extraData, int cacheable) = 0;
  // BCD form: prefix always holds three characters, unprintable bytes shown as spaces.
  virtual bool GetFwInfo(int entity, int* fwType, std::string* prefix, std::uint16_t* bcdVersion,
                         std::uint16_t* bcdBuild, int* rdnf, Bytes* extraData, int cacheable) = 0;
  // major.minor.build of the entity of a kind (0 application, 1 bootloader); false when text is null.
  virtual bool GetFwFormattedVersionOf(int kind, std::string* text, std::uint16_t* build, std::uint16_t* version,
                                       int* rdnf) = 0;
  // major.minor.build of the first entity of type 0; false when text is null.
  virtual bool GetFwFormattedVersion(std::string* text) = 0;
  // GetFwInfo of the first entity whose type is fwType.
  virtual bool FindFwInfoByType(int fwType, std::string* prefix, std::uint16_t* bcdVersion, std::uint16_t* bcdBuild,
                                int* rdnf, Bytes* extraData) = 0;
  // transport × 65536 + pid1, or the device's product id when transport is 0.
  virtual bool GetModelId(unsigned* modelId) = 0;
  virtual bool GetExtendedModelId(int* extendedModelId, int cacheable) = 0;
};

}  // namespace dovod
