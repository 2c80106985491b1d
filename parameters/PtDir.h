#pragma once
// The plain directory (record type "Directory"). The plain directories of
// level 1 are the parameter classes of a device.
#include "parameters/PtGen.h"

namespace vo {

class TDirectoryParameter : public TGenericDirParameter {
public:
    // Image 21; object type "Parameter Directory" with the read-only
    // property "Name".
    TDirectoryParameter(TParameterService& AOwner, TSLRecord* ARecord);

    const char* ClassName() const override { return "TDirectoryParameter"; }

    // Holds no value: nothing to default.
    void SetDefaultValue(TUnitSystem) override {}
};

} // namespace vo
