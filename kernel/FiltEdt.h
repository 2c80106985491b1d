#pragma once
// Trace filter rules: a list of code/mask rules that decides which trace
// lines reach the debug window. The last matching rule with an action wins;
// a code that no rule allows is not shown.
#include "platform/AnsiString.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace vo {

enum TFilterAction : uint8_t { faNone,
                               faAllow,
                               faDeny };

// One rule.
struct TDebugFilter {
    MyAnsiString FDescription;
    uint16_t FCode = 0;
    uint16_t FMask = 0;
    TFilterAction FAction = faNone;

    // FAction when (ACode and FMask) = (FCode and FMask), else faNone.
    TFilterAction Execute(uint16_t ACode) const {
        return (ACode & FMask) == (FCode & FMask) ? FAction : faNone;
    }
};

// "None", "Allow", "Deny"; "Unknown" for any other value.
const char* FilterActionText(TFilterAction Action);
// Four upper-case hexadecimal digits, as the rule list shows code and mask.
MyAnsiString FilterHex(uint16_t Value);
// Reads a code or mask typed as hexadecimal (an optional leading "$" or "0x");
// raises vo::Exception "'<text>' is not a valid integer value" otherwise, or
// when the value does not fit 16 bits.
uint16_t FilterParseHex(const MyAnsiString& Text);

// The rule list behind the filter editor. Thread-safe: trace lines are
// filtered on every thread while the GUI edits the rules.
class TFilterRules {
public:
    // The three default rules: "allow all debug messages" (0000/0000 allow),
    // "allow status request" (0103/FFFF deny), "allow status response"
    // (0203/FFFF deny).
    TFilterRules();

    TFilterAction Filter(uint16_t ACode) const;
    // Flips the second and third rules together between deny and allow: when
    // the second rule allows, both deny; otherwise both allow.
    void DenyAllowStatusFilter();

    static std::vector<TDebugFilter> DefaultRules();

    // Editing (indices in list order). Out-of-range indices raise vo::Exception.
    std::vector<TDebugFilter> Rules() const;
    size_t Count() const;
    TDebugFilter Rule(size_t Index) const;
    void Add(const TDebugFilter& Rule);
    void Insert(size_t Index, const TDebugFilter& Rule); // before Index (Index = Count appends)
    void Replace(size_t Index, const TDebugFilter& Rule);
    // Deletes the rule; returns the index of the row to select afterwards
    // (the same index, or the last row when the deleted one was last; -1 when
    // the list became empty).
    long Delete(size_t Index);
    void Clear();
    void SetRules(std::vector<TDebugFilter> Rules);

private:
    mutable std::mutex FMutex;
    std::vector<TDebugFilter> FRules;
};

} // namespace vo
