#pragma once

#include "dovod/IFeature0020ConfigChange.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion0020 {
 public:
  IFeatureForceInclusion0020();
};

class Feature0020ConfigChange : public Feature,
                                public IFeature0020ConfigChange,
                                public Producer<IFeature0020ConfigChange::ConfigReport> {
 public:
  static constexpr int kId = 0x0020;

  Feature0020ConfigChange(Byte index, std::weak_ptr<IDevice> device);

  bool GetCookie(std::uint16_t* cookie) override;
  bool SetCookie(std::uint16_t cookie) override;

 protected:
  void onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) override;
};

}  // namespace dovod
