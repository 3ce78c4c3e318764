#pragma once

#include "dovod/IFeature00c0DFUControl.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion00c0 {
 public:
  IFeatureForceInclusion00c0();
};

class Feature00c0DFUControl : public Feature,
                              public IFeature00c0DFUControl,
                              public Producer<IFeature00c0DFUControl::ConfigReport> {
 public:
  static constexpr int kId = 0x00C0;

  Feature00c0DFUControl(Byte index, std::weak_ptr<IDevice> device);

  bool EnterDfuMode() override;

  // Run-loop subscribers are accepted but never called: the report is handed on only while it is
  // being read.
  bool subscribe(Subscriber<IFeature00c0DFUControl::ConfigReport>* s, int delivery) override;

 protected:
  void onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) override;
};

}  // namespace dovod
