// Fuzz target of the description structures the parameter model reads from
// files: any input read as text notation is taken as a base-unit catalogue
// and as a module's visibility flags. Loading either refuses bad structures
// with an exception; what loads keeps its rules: base units unique by name
// (case ignored) and in name order, no display unit of scale 0, flags only
// with calculation steps; evaluating the flags never crashes. No crash, no leak, no hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernel/UserPrompt.h"
#include "parameters/UniMan.h"
#include "parameters/VisCtrl.h"
#include "storagelib/SL20Dic.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Message boxes of the loading are answered silently.
class TSilentPrompt : public vo::TUserPrompt {
public:
    vo::TModalResult Prompt(const vo::TPromptRequest&) override { return vo::mrOk; }
};

void CheckCatalogue(const vo::TSLDictionary& Dict, const std::string& Text) {
    using namespace vo;
    TUnitManager units;
    try {
        units.LoadFromDictionary(Dict);
    } catch (const Exception&) {
    }
    for (int i = 0; i < units.GetNumberOfBaseUnits(); ++i) {
        const TBaseUnit& b = units.GetBaseUnitAtIndex(i);
        if (i > 0 && SLCompareNames(units.GetBaseUnitAtIndex(i - 1).Name(), b.Name()) >= 0)
            vo::fuzz::Fail("base units out of order or doubled", Text);
        if (units.GetBaseUnitWithName(b.Name()) != &b)
            vo::fuzz::Fail("a base unit is not found by its name", Text);
        for (int k = 0; k < b.GetCount(); ++k)
            if (b.GetUnitAtIndex(k).Scale() == 0.0)
                vo::fuzz::Fail("a display unit of scale 0 was taken", Text);
    }
}

void CheckFlags(const vo::TSLDictionary& Dict, const std::string& Text) {
    using namespace vo;
    TVisibilityController flags;
    try {
        flags.LoadFlags(Dict);
    } catch (const Exception&) {
        return;
    }
    // The calculation either works or refuses the equation with an exception.
    flags.PrepareCalculation();
    try {
        for (int pass = 0; pass < 2; ++pass) flags.ExecuteCalculation();
    } catch (const Exception&) {
    }
    if (flags.GetFlagCount() > 0 && flags.LastCalcStep() == TVisibilityFlag::Unassigned)
        vo::fuzz::Fail("a flag is left without a calculation step", Text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace vo;
    static TSilentPrompt prompt;
    static TUserPrompt* previous = SetUserPrompt(&prompt);
    (void)previous;
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    fuzz::TObjectCountCheck counts;
    TRef<TSLObject> value;
    try {
        value = fuzz::ReadText(text, false);
    } catch (const ESLSyntaxError&) {
        return 0;
    }
    if (auto* dict = dynamic_cast<TSLDictionary*>(value.Get())) {
        CheckCatalogue(*dict, text);
        CheckFlags(*dict, text);
    }
    SLBreakReferenceCycles(value.Get());
    return 0;
}
