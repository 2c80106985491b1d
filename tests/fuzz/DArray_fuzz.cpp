// Fuzz target of the text form of the raw sample array: any input is loaded
// over a filled array. A refused text leaves the array as it was; a loaded
// one is saved, loaded and saved again to the same text, and its store holds
// the elements and less than a kilobyte more.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "diagnostics/DArray.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace vo;
    TDataArray a;
    a.SetColCount(3);
    a.SetRowCount(2);
    a.SetSpecial();
    std::ostringstream before;
    a.SaveToFile(before);

    std::istringstream in(std::string(reinterpret_cast<const char*>(Data), Size));
    try {
        a.LoadFromFile(in);
    } catch (const EDataArray& e) {
        if (std::string(e.what()) != "file format error") fuzz::Fail("unexpected message", e.what());
        std::ostringstream after;
        a.SaveToFile(after);
        if (after.str() != before.str()) fuzz::Fail("a refused text changed the array", after.str());
        return 0;
    }
    const std::int64_t elements = std::int64_t{a.GetColCount()} * a.GetRowCount();
    if (a.Capacity() < elements * 4 || a.Capacity() >= elements * 4 + 1024 + 1)
        fuzz::Fail("store size", std::to_string(a.Capacity()) + " for " + std::to_string(elements));
    std::ostringstream first;
    a.SaveToFile(first);
    TDataArray b;
    std::istringstream again(first.str());
    try {
        b.LoadFromFile(again);
    } catch (const EDataArray& e) {
        fuzz::Fail("the saved text does not load", first.str() + "\n" + e.what());
    }
    std::ostringstream second;
    b.SaveToFile(second);
    if (second.str() != first.str()) fuzz::Fail("save-load-save is no fixed point", first.str());
    return 0;
}
