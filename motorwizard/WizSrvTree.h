#pragma once
// The motor wizard's view of a device (TWizTree) over its services
// "ParameterService", "UnitService", "StatusService" and "ModuleService".
// Services the device lacks read as empty: no parameters, no units, a
// firmware that does not run.
#include <memory>

#include "motorwizard/WizTree.h"

namespace vo {

class TDevice;

std::unique_ptr<TWizTree> MakeServiceTree(TDevice& Device);

} // namespace vo
