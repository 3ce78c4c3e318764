#pragma once
// Include this in any unit that creates features (the device does): its force-inclusion objects
// refer to every feature unit, so linking the static library brings each class and its registration.

#include "protocol/features/Feature0000Root.h"
#include "protocol/features/Feature0001FeatureSet.h"
#include "protocol/features/Feature0003FirmwareInfo.h"
#include "protocol/features/Feature0005DeviceNameType.h"
#include "protocol/features/Feature0020ConfigChange.h"
#include "protocol/features/Feature00c0DFUControl.h"
#include "protocol/features/Feature00c1DFUControl.h"
#include "protocol/features/Feature00c2DFUControl.h"
#include "protocol/features/Feature00d0DFU.h"
#include "protocol/features/Feature1802DeviceReset.h"
#include "protocol/features/Feature1D4BWirelessStatus.h"

namespace dovod::feature_catalogue {
namespace {

const IFeatureForceInclusion0000 force_inclusion_0000;
const IFeatureForceInclusion0001 force_inclusion_0001;
const IFeatureForceInclusion0003 force_inclusion_0003;
const IFeatureForceInclusion0005 force_inclusion_0005;
const IFeatureForceInclusion0020 force_inclusion_0020;
const IFeatureForceInclusion00c0 force_inclusion_00c0;
const IFeatureForceInclusion00c1 force_inclusion_00c1;
const IFeatureForceInclusion00c2 force_inclusion_00c2;
const IFeatureForceInclusion00d0 force_inclusion_00d0;
const IFeatureForceInclusion1802 force_inclusion_1802;
const IFeatureForceInclusion1D4B force_inclusion_1D4B;

}  // namespace
}  // namespace dovod::feature_catalogue
