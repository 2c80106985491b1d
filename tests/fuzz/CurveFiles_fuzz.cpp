// Fuzz target of the curve structures read from files and drives: any input
// read as text notation is taken as a curve types file (every generator's
// entry, checked with its defaults and computed; the curve type lookups) and
// as a saved curve (opened, its drive blocks, export lines, interpolation,
// points changed and read back through the array).
// Bad structures end in exceptions; what loads keeps its rules: generators
// that pass their check give finite points, the info block is 70 bytes, the
// export has 18 info lines. No crash, no leak, no hang.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "curves/CurWizar.h"
#include "curves/Curve.h"
#include "curves/ocCCrMan.h"
#include "kernel/ModTree.h"
#include "kernel/MxTLib20.h"
#include "kernel/UserPrompt.h"
#include "platform/MainLoop.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

class TSilentPrompt : public vo::TUserPrompt {
public:
    vo::TModalResult Prompt(const vo::TPromptRequest&) override { return vo::mrOk; }
};

template <class W>
void CheckGenerator(const vo::TSLDictionary& Dict, const char* Name, const std::string& Text) {
    using namespace vo;
    W w(&Dict, Name);
    std::vector<MyAnsiString> texts;
    for (int i = 0; i < w.GetNoOfWizardPars(); ++i) {
        char b[64];
        std::snprintf(b, sizeof b, "%.12g", w.GetParDefaultValue(i));
        texts.emplace_back(b);
    }
    if (!w.DataCheck(texts, nullptr, 2000)) return;
    if (w.FNoOfSetPointsProposal < 2 || w.FNoOfSetPointsProposal > 2000)
        vo::fuzz::Fail("proposal outside 2 .. cap", Text);
    for (double v : w.CalcSIPoints(std::min(w.FNoOfSetPointsProposal, 2000)))
        if (!std::isfinite(v)) vo::fuzz::Fail("a checked generator gave a point that is not finite", Text);
}

void CheckTypes(vo::TSLDictionary& Dict, const std::string& Text) {
    using namespace vo;
    CheckGenerator<TSineWizard>(Dict, "SinPosTime", Text);
    CheckGenerator<TPToPWizard>(Dict, "VAPosTime", Text);
    CheckGenerator<TMinJerkWizard>(Dict, "MinJerkPosTime", Text);
    CheckGenerator<TLimitJerkWizard>(Dict, "LimitJerkPosTime", Text);
    CheckGenerator<TStandstillWizard>(Dict, "StandstillPosTime", Text);
    CheckGenerator<TManualWizard>(Dict, "ManualTime", Text);
    CheckGenerator<TSinPosIncWizard>(Dict, "SinPosInc", Text);
    CheckGenerator<TMinJerkPosIncWizard>(Dict, "MinJerkPosInc", Text);
    CheckGenerator<TStandstillPosIncWizard>(Dict, "StandstillPosInc", Text);
    CheckGenerator<TVALengthPosIncWizard>(Dict, "VALengthPosInc", Text);
    CheckGenerator<TConvSyncPosIncWizard>(Dict, "ConvSyncPosInc", Text);
    CheckGenerator<TManualPosIncWizard>(Dict, "ManualInc", Text);
    auto* types = dynamic_cast<TSLArray*>(Dict.FindObjWithName("CurveTypeArray"));
    if (!types) return;
    TCurveManager m;
    m.SetCurveTypes(types);
    for (int i = 0; i < m.GetCurveTypeCount(); ++i) {
        try {
            const int code = m.GetCurveXYDimCodeAtIndex(i);
            if (m.GetIndexOfCurveType(code) > i) vo::fuzz::Fail("the first entry of a code is not first", Text);
            m.GetCurveTypeCaption(code);
            m.GetDataTypeSizeOfCurve(code);
            m.GetManualWizardTypeOfCurve(code);
            m.WizardValidForCurve("SinPosTime", i);
        } catch (const Exception&) {
        }
    }
}

void CheckCurve(vo::TSLDictionary& Dict, vo::TModelManager& Models, const std::string& Text) {
    using namespace vo;
    TRef<TSLObject> header = fuzz::ReadText("[D /Type 0 /Version 3 /Name '' ]", false);
    auto* info = dynamic_cast<TSLDictionary*>(header.Get());
    std::unique_ptr<TCurve> c;
    try {
        c = TCurve::CreateOpen(*info, Dict, &Models);
    } catch (const Exception&) {
        return;
    }
    try {
        if (c->InfoBlock().size() != 70) vo::fuzz::Fail("info block not 70 bytes", Text);
        const auto lines = c->RawDataLines();
        if (lines.size() < 18 + 14) vo::fuzz::Fail("export without its 18 info lines", Text);
        if (c->GetNoOfSetPoints() > 0 && c->GetNoOfSetPoints() <= c->Data().GetCount()) {
            double mx = 0, mn = 0;
            c->GetMaxMin(mx, mn);
            if (mx < mn) vo::fuzz::Fail("maximum below minimum", Text);
            c->GetInterpolatedValue(0.5 * c->GetXLength());
            c->GetInterpolatedIntValue(c->GetXLength());
        }
    } catch (const Exception&) {
    }
    // changes of the points reach the array read afterwards
    try {
        if (c->GetNoOfSetPoints() > 0) {
            c->SetDataInt(0, 12345);
            c->InsertNewIntData(0, -1);
            c->RemoveDataAtIndex(1);
            if (c->GetDataInt(0) != -1 || SLCast<TSLNumber>(c->Data().GetObjAtIndex(0))->GetLongintValue() != -1)
                vo::fuzz::Fail("a changed point differs from its array element", Text);
        }
        c->ReplaceSIData(3, 7.0);
        if (c->Data().GetCount() != 3 || SLCast<TSLNumber>(c->Data().GetObjAtIndex(2))->GetLongintValue() != 7)
            vo::fuzz::Fail("replaced points differ from the array", Text);
    } catch (const Exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace vo;
    static TSilentPrompt prompt;
    static TUserPrompt* previous = SetUserPrompt(&prompt);
    (void)previous;
    static THeadlessPump pump;
    static TMxScheduler& scheduler = MxCreateMainScheduler(pump);
    (void)scheduler;
    static TCurveManager manager;
    static TRef<TSLObject> curveInfo = fuzz::ReadText("[D /ActualVersion 3 ]", false);
    static bool installed = [] {
        SetCurveManager(&manager);
        manager.SetCurveInfo(dynamic_cast<TSLDictionary*>(curveInfo.Get()));
        return true;
    }();
    (void)installed;
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    {
        fuzz::TObjectCountCheck counts;
        TRef<TSLObject> value;
        try {
            value = fuzz::ReadText(text, false);
        } catch (const ESLSyntaxError&) {
            return 0;
        }
        if (auto* dict = dynamic_cast<TSLDictionary*>(value.Get())) {
            CheckTypes(*dict, text);
            TModelManager models; // frees the nodes of the curves opened
            CheckCurve(*dict, models, text);
        }
        SLBreakReferenceCycles(value.Get());
    }
    return 0;
}
