#pragma once

#include "dovod/IFeature0000Root.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion0000 {
 public:
  IFeatureForceInclusion0000();
};

class Feature0000Root : public Feature, public IFeature0000Root {
 public:
  static constexpr int kId = 0x0000;

  Feature0000Root(Byte index, std::weak_ptr<IDevice> device);

  bool GetFeature(int featureId, int* featureIndex, bool* obsolete, bool* hidden, bool* engineering, int* version,
                  int cacheable) override;
  bool GetProtocolVersion(Byte pingSent, Byte* protocol, Byte* targetsw, Byte* pingReceived) override;
  bool TargetSw(Byte* protocol, int* targetsw) override;
  bool Ping(Byte value) override;

 private:
  // The protocol version never changes while the object lives, so one successful answer is kept.
  bool haveProtocol_ = false;
  Byte protocol_ = 0;
  Byte targetsw_ = 0;
};

}  // namespace dovod
