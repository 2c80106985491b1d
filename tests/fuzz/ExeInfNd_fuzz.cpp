// Fuzz target of the data a drive and a firmware script give the device side:
// an info node's bytes (first input byte: the layout) decode by both layouts
// without reading past the node, and every text stays within its field; a
// firmware script's information block (the rest of the input as text
// notation) either builds tree names or is refused as a wrong file, never
// worse.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "devices/ConfWiz.h"
#include "devices/ExeInfNd.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void CheckNode(const std::string& Bytes, uint8_t ProSel) {
    if (Bytes.size() < vo::TInfoNodeItem::MinNodeSize) {
        try {
            vo::TInfoNodeItem item(Bytes, ProSel);
            vo::fuzz::Fail("short node accepted", std::to_string(Bytes.size()));
        } catch (const vo::Exception&) {
        }
        return;
    }
    const vo::TInfoNodeItem item(Bytes, ProSel);
    const auto within = [&](const std::string& Text, size_t Width, const char* What) {
        if (Text.size() > Width || Text.find('\0') != std::string::npos)
            vo::fuzz::Fail(What, Text);
    };
    within(item.GetFileName(), 16, "file name");
    within(item.GetTreeSubName(), 16, "tree sub name");
    within(item.GetTreeBetaInfo(), 16, "beta information");
    within(item.GetCompleteName(), 62, "complete name");
    within(item.GetFileInfo(), Bytes.size(), "file information");
    within(item.GetCustomStr(int32_t(Bytes.size() % 97), 40), 40, "custom text");
    (void)item.GetFileType();
    (void)item.GetFileVersion();
    (void)item.GetFileSubType();
    (void)item.GetStartAddress();
    (void)item.GetTreeVersion();
    (void)item.GetTreeSubVersion();
    (void)item.GetCustomInt(int32_t(Bytes.size() % 13), 8);
}

void CheckScript(const std::string& Text) {
    vo::TRef<vo::TSLObject> value;
    try {
        value = vo::fuzz::ReadText("[B " + Text + " ]", false);
    } catch (const std::exception&) {
        return;
    }
    // A script may refer back to its own composites: the cycles are broken
    // when the input is done with, as the program does with what it reads.
    struct TBreakCycles {
        vo::TSLObject* Value;
        ~TBreakCycles() { vo::SLBreakReferenceCycles(Value); }
    } breakCycles{value.Get()};
    auto* block = dynamic_cast<vo::TSLBlock*>(value.Get());
    if (!block)
        return;
    for (int version = 2; version <= 4; ++version) {
        vo::TConfWizard wizard;
        try {
            wizard.Initialize(block, version);
            for (int c = 0; c < int(wizard.Controllers().size()); ++c) {
                wizard.SelectController(c);
                try {
                    wizard.BuildNames();
                } catch (const vo::Exception&) {
                }
            }
        } catch (const vo::Exception&) {
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    CheckNode(bytes, Data[0] & 1);
    CheckScript(bytes);
    vo::PurgeAutoReleasePool();
    return 0;
}
