#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "FakeDevice.h"
#include "LogCapture.h"
#include "dovod/IFeature0000Root.h"
#include "dovod/IFeature0001FeatureSet.h"
#include "dovod/IFeature0003FirmwareInfo.h"
#include "dovod/IFeature0005DeviceNameType.h"
#include "dovod/IFeature0020ConfigChange.h"
#include "dovod/IFeature00c0DFUControl.h"
#include "dovod/IFeature00c1DFUControl.h"
#include "dovod/IFeature00c2DFUControl.h"
#include "dovod/IFeature00d0DFU.h"
#include "dovod/IFeature1802DeviceReset.h"
#include "dovod/IFeature1D4BWirelessStatus.h"
#include "protocol/FeatureRegistry.h"
#include "protocol/features/FeatureCatalogue.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod::testing {
namespace {

template <class I>
bool casts_to(const std::shared_ptr<IFeature>& feature) {
  return std::dynamic_pointer_cast<I>(feature) != nullptr;
}

struct Known {
  int id;
  std::function<bool(const std::shared_ptr<IFeature>&)> casts;
};

const Known kKnown[] = {
    {0x0000, casts_to<IFeature0000Root>},          {0x0001, casts_to<IFeature0001FeatureSet>},
    {0x0003, casts_to<IFeature0003FirmwareInfo>},  {0x0005, casts_to<IFeature0005DeviceNameType>},
    {0x0020, casts_to<IFeature0020ConfigChange>},  {0x00C0, casts_to<IFeature00c0DFUControl>},
    {0x00C1, casts_to<IFeature00c1DFUControl>},    {0x00C2, casts_to<IFeature00c2DFUControl>},
    {0x00D0, casts_to<IFeature00d0DFU>},           {0x1802, casts_to<IFeature1802DeviceReset>},
    {0x1D4B, casts_to<IFeature1D4BWirelessStatus>},
};

TEST(FeatureRegistry, EachKnownIdCreatesItsOwnClassAndNoOther) {
  auto device = std::make_shared<FakeDevice>();
  for (const Known& k : kKnown) {
    SCOPED_TRACE(k.id);
    EXPECT_TRUE(FeatureRegistry::instance().has_creator(k.id));
    std::shared_ptr<IFeature> feature = FeatureRegistry::instance().create_feature(k.id, 9, device);
    ASSERT_NE(feature, nullptr);
    EXPECT_EQ(feature->feature_id(), k.id);
    EXPECT_EQ(feature->feature_index(), 9);
    EXPECT_EQ(feature->device(), device);
    for (const Known& other : kKnown) EXPECT_EQ(other.casts(feature), other.id == k.id) << other.id;
  }
}

TEST(FeatureRegistry, UnknownIdGivesAPlainFeatureThatCastsToNoFeatureInterface) {
  auto device = std::make_shared<FakeDevice>();
  EXPECT_FALSE(FeatureRegistry::instance().has_creator(0x4242));
  std::shared_ptr<IFeature> feature = FeatureRegistry::instance().create_feature(0x4242, 17, device);
  ASSERT_NE(feature, nullptr);
  EXPECT_EQ(feature->feature_id(), 0x4242);
  EXPECT_EQ(feature->feature_index(), 17);
  for (const Known& k : kKnown) EXPECT_FALSE(k.casts(feature)) << k.id;
  EXPECT_TRUE(std::dynamic_pointer_cast<Producer<IFeature::FeatureReport>>(feature));
}

TEST(FeatureRegistry, FeaturesDoNotKeepTheirDeviceAlive) {
  auto device = std::make_shared<FakeDevice>();
  std::weak_ptr<FakeDevice> weak = device;
  std::shared_ptr<IFeature> feature = FeatureRegistry::instance().create_feature(0x00D0, 4, device);
  device.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(feature->device(), nullptr);
}

TEST(FeatureInclusion, TheIncludedLineIsWrittenOnlyForTheFirstObject) {
  LogCapture log;
  std::atomic<bool> logged{false};
  for (int i = 0; i < 3; ++i) {
    log_feature_included(logged, "Feature00d0DFU", "dovod::IFeatureForceInclusion00d0::IFeatureForceInclusion00d0",
                         "00d0");
  }
  EXPECT_EQ(log.count("Dovod: Feature00d0 included"), 1);
  EXPECT_EQ(log.count("IFeatureForceInclusion00d0"), 1);
}

TEST(FeatureInclusion, ObjectsMadeAfterStartUpWriteNothingMore) {
  LogCapture log;
  IFeatureForceInclusion00d0 again;
  IFeatureForceInclusion0000 root_again;
  EXPECT_EQ(log.count("included"), 0);
}

}  // namespace
}  // namespace dovod::testing
