#include "kernel/FiltEdt.h"

#include "platform/Exception.h"

#include <cstdio>

namespace vo {

const char* FilterActionText(TFilterAction Action) {
    switch (Action) {
    case faNone: return "None";
    case faAllow: return "Allow";
    case faDeny: return "Deny";
    }
    return "Unknown";
}

MyAnsiString FilterHex(uint16_t Value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%.4X", static_cast<unsigned>(Value));
    return buf;
}

uint16_t FilterParseHex(const MyAnsiString& Text) {
    size_t i = 0;
    while (i < Text.size() && (Text[i] == ' ' || Text[i] == '\t'))
        ++i;
    size_t end = Text.size();
    while (end > i && (Text[end - 1] == ' ' || Text[end - 1] == '\t'))
        --end;
    MyAnsiString s = Text.substr(i, end - i);
    if (!s.empty() && s[0] == '$')
        s.erase(0, 1);
    else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s.erase(0, 2);
    bool ok = !s.empty() && s.size() <= 8;
    uint32_t v = 0;
    for (char c : s) {
        if (!ok)
            break;
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else {
            ok = false;
            break;
        }
        v = v * 16 + static_cast<uint32_t>(d);
    }
    if (!ok || v > 0xFFFF)
        throw Exception("'" + Text + "' is not a valid integer value");
    return static_cast<uint16_t>(v);
}

std::vector<TDebugFilter> TFilterRules::DefaultRules() {
    return {
        {"allow all debug messages", 0x0000, 0x0000, faAllow},
        {"allow status request", 0x0103, 0xFFFF, faDeny},
        {"allow status response", 0x0203, 0xFFFF, faDeny},
    };
}

TFilterRules::TFilterRules() : FRules(DefaultRules()) {}

TFilterAction TFilterRules::Filter(uint16_t ACode) const {
    std::lock_guard<std::mutex> lock(FMutex);
    TFilterAction result = faNone;
    for (const auto& r : FRules) {
        TFilterAction a = r.Execute(ACode);
        if (a != faNone)
            result = a;
    }
    return result;
}

void TFilterRules::DenyAllowStatusFilter() {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FRules.size() < 3)
        return; // the status rules were deleted: nothing to toggle
    TFilterAction a = FRules[1].FAction == faAllow ? faDeny : faAllow;
    FRules[1].FAction = a;
    FRules[2].FAction = a;
}

std::vector<TDebugFilter> TFilterRules::Rules() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FRules;
}

size_t TFilterRules::Count() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FRules.size();
}

static void CheckIndex(size_t Index, size_t Count, const char* Op) {
    if (Index >= Count)
        throw Exception(std::string("TFilterRules.") + Op + ": rule index " + std::to_string(Index) + " out of range");
}

TDebugFilter TFilterRules::Rule(size_t Index) const {
    std::lock_guard<std::mutex> lock(FMutex);
    CheckIndex(Index, FRules.size(), "Rule");
    return FRules[Index];
}

void TFilterRules::Add(const TDebugFilter& Rule) {
    std::lock_guard<std::mutex> lock(FMutex);
    FRules.push_back(Rule);
}

void TFilterRules::Insert(size_t Index, const TDebugFilter& Rule) {
    std::lock_guard<std::mutex> lock(FMutex);
    CheckIndex(Index, FRules.size() + 1, "Insert");
    FRules.insert(FRules.begin() + static_cast<long>(Index), Rule);
}

void TFilterRules::Replace(size_t Index, const TDebugFilter& Rule) {
    std::lock_guard<std::mutex> lock(FMutex);
    CheckIndex(Index, FRules.size(), "Replace");
    FRules[Index] = Rule;
}

long TFilterRules::Delete(size_t Index) {
    std::lock_guard<std::mutex> lock(FMutex);
    CheckIndex(Index, FRules.size(), "Delete");
    FRules.erase(FRules.begin() + static_cast<long>(Index));
    if (FRules.empty())
        return -1;
    return static_cast<long>(Index < FRules.size() ? Index : FRules.size() - 1);
}

void TFilterRules::Clear() {
    std::lock_guard<std::mutex> lock(FMutex);
    FRules.clear();
}

void TFilterRules::SetRules(std::vector<TDebugFilter> Rules) {
    std::lock_guard<std::mutex> lock(FMutex);
    FRules = std::move(Rules);
}

} // namespace vo
