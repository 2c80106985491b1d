// Fuzz target of actuator definition files: any input read as text notation
// is taken as a definition file and run on a small drive tree (integers with
// a unit, the three radio kinds, a string, a Boolean, the firmware version
// 4.2): items, pages, starting values, the rules and the change list. Bad
// structures end in exceptions; what loads keeps its rules: pages in order of
// their position, entries found by their own value, the change list only of
// parameters the drive has. No crash, no leak, no hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernel/UserPrompt.h"
#include "motorwizard/MotWizMan.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/motorwizard/MiniTree.h"

namespace {

using namespace vo;

class TSilentPrompt : public TUserPrompt {
public:
    TModalResult Prompt(const TPromptRequest&) override { return mrNo; }
};

void Check(TMotWizManager& M, const std::string& Text) {
    for (int i = 0; i < M.GetPageCount(); ++i)
        if (M.GetWizardPage(i).FPagePos != i)
            fuzz::Fail("a page's position is not its place in the list", Text);
    for (int i = 0; i < M.GetWizParCount(); ++i)
        if (auto* e = dynamic_cast<TWizParEnum*>(&M.GetWizParAtIndex(i)))
            for (int k = 0; k < e->GetENumDefCount(); ++k) {
                const int found = e->GetItemIndex(e->GetValueAt(k));
                if (found < 0 || found > k)
                    fuzz::Fail("an entry is not found by its own value", Text);
            }
    M.BuildChangesList();
    for (int i = 0; i < M.GetChangedWizParCount(); ++i)
        if (!M.GetChangedWizParAtIndex(i).FFoundInTree)
            fuzz::Fail("the change list holds a parameter the drive lacks", Text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static TSilentPrompt prompt;
    SetUserPrompt(&prompt);
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    TRef<TSLDictionary> dict;
    try {
        dict = ReadADFText(text);
    } catch (const std::exception&) {
        return 0;
    }
    {
        test::TMiniTree tree;
        TMotWizManager man;
        RegisterWizardClasses(man);
        for (bool change : {false, true}) {
            try {
                man.FInitializing = !change;
                if (man.InitWithDefinition(tree, *dict, "Fuzz", change))
                    Check(man, text);
            } catch (const std::exception&) {
            }
        }
        man.ReleaseTree();
    }
    SLBreakReferenceCycles(dict.Get()); // a file may refer back to its own composites
    return 0;
}
