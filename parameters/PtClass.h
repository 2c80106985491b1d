#pragma once
// The class directory (record type "ClassDir"): a directory whose values can
// be saved to a file of their own.
#include "parameters/PtGen.h"

namespace vo {

class TClassDirParameter : public TGenericDirParameter {
public:
    // With a record: image 21. Without: extension "cfg", image 20, visible.
    TClassDirParameter(TParameterService& AOwner, TSLRecord* ARecord);

    const char* ClassName() const override { return "TClassDirParameter"; }

    // Holds no value: nothing to default.
    void SetDefaultValue(TUnitSystem) override {}

    // The extension offered when the class's values are saved to a file.
    const MyAnsiString& Extension() const noexcept { return FExtension; }

private:
    MyAnsiString FExtension;
};

} // namespace vo
