#pragma once
// A small drive tree for the motor wizard without a test framework (fuzz
// target and benchmark): firmware 4.2, the actuator name "LM" (6220), the
// wizard marks 6253 and 6254, and one parameter of each kind at UPIDs 1 to 7
// (integer, the three radio kinds with the children -1, 0 and 1, string,
// Boolean, other). Writing does nothing.
#include <map>
#include <memory>
#include <string>

#include "motorwizard/WizTree.h"

namespace vo::test {

struct TMiniPar : TWizTreePar {
    TWizTreeKind kind;
    std::int32_t upid;
    TMiniPar(TWizTreeKind k, std::int32_t u) : kind(k), upid(u) {}
    TWizTreeKind Kind() const override { return kind; }
    std::int32_t UPID() const override { return upid; }
    MyAnsiString Caption() const override { return "P"; }
    MyAnsiString Path() const override { return "M\\P"; }
    std::int32_t UnitUUID() const override { return upid % 3; }
    double MaxSI() const override { return 10; }
    double ValueSI() const override { return 0.25; }
    std::int64_t DefaultInt() const override { return 1; }
    std::int64_t IntValue() const override { return upid == 1370 ? 4 : upid == 1371 ? 2
                                                                                    : 3; }
    MyAnsiString StrValue() const override { return "LM"; }
    int ChildCount() const override { return kind == TWizTreeKind::tkInteger ? 0 : 3; }
    std::int64_t ChildValue(int i) const override { return i - 1; }
    MyAnsiString ChildCaption(int i) const override { return "C" + std::to_string(i); }
    void SetScaledValue(const MyAnsiString&) override {}
    void SetIntValue(std::int64_t) override {}
    void SetBoolValue(bool) override {}
    void Modify() override {}
};

struct TMiniTree : TWizTree {
    std::map<std::int32_t, std::unique_ptr<TMiniPar>> pars;
    TMiniTree() {
        const std::pair<std::int32_t, TWizTreeKind> list[] = {
            {1370, TWizTreeKind::tkInteger}, {1371, TWizTreeKind::tkInteger}, {6220, TWizTreeKind::tkString}, {6253, TWizTreeKind::tkInteger}, {6254, TWizTreeKind::tkInteger}, {1, TWizTreeKind::tkInteger}, {2, TWizTreeKind::tkRadio16}, {3, TWizTreeKind::tkRadio32}, {4, TWizTreeKind::tkRadioBit}, {5, TWizTreeKind::tkString}, {6, TWizTreeKind::tkBoolean}, {7, TWizTreeKind::tkOther}};
        for (auto [u, k] : list) pars[u] = std::make_unique<TMiniPar>(k, u);
    }
    TWizTreePar* FindParameter(std::int32_t U) override {
        auto it = pars.find(U);
        return it == pars.end() ? nullptr : it->second.get();
    }
    const TDeviceUnit* FindUnit(std::int32_t) const override { return nullptr; }
    bool Online() const override { return true; }
    MyAnsiString ADFFileExt() const override { return "adf"; }
    void Bind(THandlers) override {}
    bool GetRunning() const override { return false; }
    void RequestStatusTurn() override {}
    void StopDevice() override {}
    void ReleaseStatus() override {}
    void DisconnectStatus() override {}
    void RequestParameterTurn() override {}
    void PrepareModify() override {}
    void ExecuteModify() override {}
    void ReleaseParameter() override {}
};

} // namespace vo::test
