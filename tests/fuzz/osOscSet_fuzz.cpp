// Fuzz target of oscilloscope settings read from the text notation: any
// dictionary builds general and display settings without a crash or a leak
// (faulty values are reported in a message box, never raised). What the
// settings write reads back without a message and is written again to the
// same text; writing into the dictionary they came from keeps it readable.
#include <cstddef>
#include <cstdint>
#include <string>

#include "diagnostics/osOscSet.h"
#include "kernel/UserPrompt.h"
#include "storagelib/SL20Dic.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Counts the message boxes instead of showing them.
class TCountingPrompt : public vo::TUserPrompt {
public:
    vo::TModalResult Prompt(const vo::TPromptRequest&) override {
        ++Count;
        return vo::mrOk;
    }
    int Count = 0;
};

template <class TSettings>
std::string Written(const TSettings& S) {
    vo::TRef<vo::TSLDictionary> d = vo::MakeRef<vo::TSLDictionary>();
    S.SaveDataToDict(*d);
    try {
        return vo::fuzz::WriteText(d.Get());
    } catch (const vo::Exception&) {
        return {}; // a value the text notation cannot hold
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace vo;
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    fuzz::TObjectCountCheck counts;
    TCountingPrompt prompt;
    TUserPromptScope scope(prompt);
    TRef<TSLObject> value;
    try {
        value = fuzz::ReadText(text, false);
    } catch (const ESLSyntaxError&) {
        return 0;
    }
    auto* dict = dynamic_cast<TSLDictionary*>(value.Get());
    if (!dict) {
        SLBreakReferenceCycles(value.Get());
        return 0;
    }

    const TGeneralSettings general(dict);
    const int messages = prompt.Count;
    if (messages > 1) fuzz::Fail("more than one message", text);
    const std::string first = Written(general);
    if (!first.empty()) {
        TRef<TSLObject> back = fuzz::ReadText(first, false);
        const TGeneralSettings again(SLCast<TSLDictionary>(back.Get()));
        if (prompt.Count != messages) fuzz::Fail("written settings read with a message", first);
        if (again.GetChanSetCount() != general.GetChanSetCount() ||
            again.GetTrigSetCount() != general.GetTrigSetCount())
            fuzz::Fail("written settings lost channels or triggers", first);
        if (Written(again) != first) fuzz::Fail("write-read-write is no fixed point", first);
    }
    general.SaveDataToDict(*dict);
    const TGeneralSettings fromSame(dict);
    if (prompt.Count != messages) fuzz::Fail("settings written in place read with a message", text);

    try {
        const TDisplaySettings display(dict);
        const std::string shown = Written(display);
        if (!shown.empty()) {
            TRef<TSLObject> back = fuzz::ReadText(shown, false);
            const TDisplaySettings again(SLCast<TSLDictionary>(back.Get()));
            if (Written(again) != shown) fuzz::Fail("display write-read-write is no fixed point", shown);
        }
        display.SaveDataToDict(*dict);
        const TDisplaySettings fromSame(dict);
        if (fromSame.YAxisCount() != TDisplaySettings::YAxes) fuzz::Fail("not eight Y axes", text);
    } catch (const Exception&) {
        // a display value of the wrong kind: refused with a message
    }
    SLBreakReferenceCycles(value.Get());
    return 0;
}
