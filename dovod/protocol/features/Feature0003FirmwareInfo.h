#pragma once

#include "dovod/IFeature0003FirmwareInfo.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion0003 {
 public:
  IFeatureForceInclusion0003();
};

class Feature0003FirmwareInfo : public Feature, public IFeature0003FirmwareInfo {
 public:
  static constexpr int kId = 0x0003;

  Feature0003FirmwareInfo(Byte index, std::weak_ptr<IDevice> device);

  bool GetEntityCount(int* count, int* unitId, int* transport, int* pid1, int* pid2, int* pid3, int* extendedModelId,
                      int cacheable) override;
  bool GetFwInfo(int entity, int* fwType, std::string* prefix, std::string* version, std::string* build, int* rdnf,
                 Bytes* extraData, int cacheable) override;
  bool GetFwInfo(int entity, int* fwType, std::string* prefix, std::uint16_t* bcdVersion, std::uint16_t* bcdBuild,
                 int* rdnf, Bytes* extraData, int cacheable) override;
  bool GetFwFormattedVersionOf(int kind, std::string* text, std::uint16_t* build, std::uint16_t* version,
                               int* rdnf) override;
  bool GetFwFormattedVersion(std::string* text) override;
  bool FindFwInfoByType(int fwType, std::string* prefix, std::uint16_t* bcdVersion, std::uint16_t* bcdBuild, int* rdnf,
                        Bytes* extraData) override;
  bool GetModelId(unsigned* modelId) override;
  bool GetExtendedModelId(int* extendedModelId, int cacheable) override;

 private:
  struct Entity {
    int fwType = 0;
    std::string prefix;
    std::uint16_t bcdVersion = 0;
    std::uint16_t bcdBuild = 0;
    int rdnf = 0;
  };

  // Reads the entities in order until `wanted` accepts one; false when a read fails or none is
  // accepted (`ErrorCode::NotPresent` (30)).
  template <class Wanted>
  bool find_entity(Wanted wanted, Entity& found);
};

}  // namespace dovod
