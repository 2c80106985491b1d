#pragma once
// Visibility flags: named Boolean flags of a drive's parameter tree.
//
// A module description names basic flags (type "B", set only by Boolean
// parameters whose value is true), calculated flags (type "C", whose value is
// a postfix equation over other flags with "!" NOT, "#" OR and "&" AND) and
// imported flags (type "I", created by an earlier module). A parameter may
// name the flag that governs it. The parameter service recomputes all flags
// after each pass that changed a flag source (TParameterService::
// UpdateVisibility).
//
// Calculated flags are evaluated in steps: a flag without operands has step
// 0, any other one step more than its highest operand, so one evaluation in
// step order sees every operand computed. Circular equations are refused when
// the steps are set up.
//
// GUI thread only.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/AnsiString.h"

namespace vo {

class TSLArray;
class TSLDictionary;
class TVisibilityController;

// The evaluation stack of the equations: at most 31 values.
class TBitStack {
public:
    static const char* ClassName() noexcept { return "TBitStack"; }

    void Clear() noexcept { StackPtr = 0; }
    // Raises "TBitStack.Push: stack overflow" for a 32nd value.
    void Push(std::uint8_t B);
    // Raises "TBitStack.Pop: stack underflow" when empty.
    std::uint8_t Pop();
    int Count() const noexcept { return StackPtr; }

private:
    std::array<std::uint8_t, 32> Stack{};
    std::int32_t StackPtr = 0;
};

class TVisibilityFlag {
public:
    // Token bytes of an equation: operand indexes below OperandLimit, then
    // the operators.
    static constexpr std::uint8_t OperandLimit = 240;
    static constexpr std::uint8_t TokenNot = 240;
    static constexpr std::uint8_t TokenOr = 241;
    static constexpr std::uint8_t TokenAnd = 242;
    static constexpr std::uint8_t Unassigned = 255;

    explicit TVisibilityFlag(TVisibilityController& AOwner) : FOwner(&AOwner) {}
    TVisibilityFlag(const TVisibilityFlag&) = delete;
    TVisibilityFlag& operator=(const TVisibilityFlag&) = delete;

    static const char* ClassName() noexcept { return "TVisibilityFlag"; }

    // Translates an array of texts: "!", "#", "&" are operators, any other
    // single character raises "undefined command token: <c>", longer texts
    // name operand flags (the owner's GetFlag).
    void SetEquation(const TSLArray& EquArr);
    // Evaluates the equation (see the unit's comment); a flag without
    // equation keeps its value.
    void Calculate(TBitStack& BitStack);
    void CreateSnapshot() noexcept { FSnapshotValue = FValue; }
    bool CompareSnapshot() const noexcept { return FSnapshotValue == FValue; }
    // One round of the step set-up (see TVisibilityController::SetupCalcOrder).
    bool SetupCalcOrder(std::uint8_t ACalcStep);

    bool Value() const noexcept { return FValue; }
    void SetValue(bool Value) noexcept { FValue = Value; }
    std::uint8_t CalcStep() const noexcept { return FCalcStep; }
    const MyAnsiString& Equation() const noexcept { return FEquation; }
    int OperandCount() const noexcept { return static_cast<int>(FFlagList.size()); }
    TVisibilityController& Owner() const noexcept { return *FOwner; }

private:
    TVisibilityController* FOwner;
    bool FValue = false;
    bool FSnapshotValue = false;
    std::vector<TVisibilityFlag*> FFlagList; // operands in order of first use
    MyAnsiString FEquation; // token bytes
    std::uint8_t FCalcStep = Unassigned;
};

class TVisibilityController {
public:
    TVisibilityController();
    ~TVisibilityController();
    TVisibilityController(const TVisibilityController&) = delete;
    TVisibilityController& operator=(const TVisibilityController&) = delete;

    static const char* ClassName() noexcept { return "TVisibilityController"; }

    // Loads one module's "VisibilityFlags": creates the B and C flags, looks
    // the I flags up, sets the equations, then the steps. Raises for a name
    // that exists ("TVisibilityController.LoadFlags: visibility flag with
    // name '<n>' already exists"), a missing I flag, a type other than B, C,
    // I ("unknow visibility flag type '<t>' for '<n>'") and circular
    // equations.
    void LoadFlags(const TSLDictionary& InitDict);
    // Names compared without regard to case. Raises "visibility flag with
    // name '<n>' not found".
    TVisibilityFlag& GetFlag(const MyAnsiString& AName) const;
    TVisibilityFlag* FindFlag(const MyAnsiString& AName) const;
    // "" for a flag that is not in the list.
    MyAnsiString GetNameOfFlag(const TVisibilityFlag* AFlag) const;
    int GetFlagCount() const noexcept { return static_cast<int>(FlagList.size()); }

    // Every flag false.
    void PrepareCalculation();
    void CreateSnapshot();
    // The calculated flags, step by step, in name order within a step.
    void ExecuteCalculation();
    // True when no flag changed since the snapshot.
    bool CompareSnapshot() const;
    // Assigns the steps; raises "TVisibilityController.SetupCalcOrder:
    // circular references" when flags are left without one.
    void SetupCalcOrder();
    std::uint8_t LastCalcStep() const noexcept { return FLastCalcStep; }

private:
    struct TNameLess {
        bool operator()(const MyAnsiString& A, const MyAnsiString& B) const;
    };
    std::map<MyAnsiString, std::unique_ptr<TVisibilityFlag>, TNameLess> FlagList;
    TBitStack BitStack;
    std::uint8_t FLastCalcStep = 0;
};

} // namespace vo
