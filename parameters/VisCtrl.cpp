#include "parameters/VisCtrl.h"

#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"

#include <algorithm>

namespace vo {

// ------------------------------------------------------------------ bit stack

void TBitStack::Push(std::uint8_t B) {
    if (StackPtr >= static_cast<std::int32_t>(Stack.size()) - 1)
        throw Exception(MyAnsiString(ClassName()) + ".Push: stack overflow");
    Stack[static_cast<std::size_t>(StackPtr++)] = B;
}

std::uint8_t TBitStack::Pop() {
    if (StackPtr == 0)
        throw Exception(MyAnsiString(ClassName()) + ".Pop: stack underflow");
    return Stack[static_cast<std::size_t>(--StackPtr)];
}

// ------------------------------------------------------------------ flags

void TVisibilityFlag::SetEquation(const TSLArray& EquArr) {
    MyAnsiString equation;
    for (int i = 0; i < EquArr.GetCount(); ++i) {
        const MyAnsiString element = EquArr.GetStrAtIndex(i);
        if (element.size() == 1) {
            switch (element[0]) {
            case '!': equation += static_cast<char>(TokenNot); break;
            case '#': equation += static_cast<char>(TokenOr); break;
            case '&': equation += static_cast<char>(TokenAnd); break;
            default: throw Exception("undefined command token: " + element);
            }
            continue;
        }
        TVisibilityFlag* operand = &FOwner->GetFlag(element);
        auto it = std::find(FFlagList.begin(), FFlagList.end(), operand);
        if (it == FFlagList.end()) {
            if (FFlagList.size() >= OperandLimit)
                throw Exception(MyAnsiString(ClassName()) + ".SetEquation: too many operands");
            FFlagList.push_back(operand);
            it = FFlagList.end() - 1;
        }
        equation += static_cast<char>(it - FFlagList.begin());
    }
    FEquation = std::move(equation);
}

void TVisibilityFlag::Calculate(TBitStack& BitStack) {
    BitStack.Clear();
    for (const char c : FEquation) {
        const auto token = static_cast<std::uint8_t>(c);
        if (token < FFlagList.size()) {
            BitStack.Push(FFlagList[token]->FValue ? 1 : 0);
        } else if (token == TokenNot) {
            BitStack.Push(BitStack.Pop() ? 0 : 1);
        } else if (token == TokenOr) {
            const std::uint8_t a = BitStack.Pop();
            const std::uint8_t b = BitStack.Pop();
            BitStack.Push((a || b) ? 1 : 0);
        } else if (token == TokenAnd) {
            const std::uint8_t a = BitStack.Pop();
            const std::uint8_t b = BitStack.Pop();
            BitStack.Push((a && b) ? 1 : 0);
        } else {
            throw Exception(MyAnsiString(ClassName()) + ".Calculate: command token error");
        }
    }
    if (BitStack.Count() == 0)
        return;
    if (BitStack.Count() > 1)
        throw Exception(MyAnsiString(ClassName()) + ".Calculate: error in equation");
    FValue = BitStack.Pop() != 0;
}

bool TVisibilityFlag::SetupCalcOrder(std::uint8_t ACalcStep) {
    if (ACalcStep == 0)
        FCalcStep = Unassigned;
    if (FCalcStep == Unassigned) {
        for (const TVisibilityFlag* operand : FFlagList)
            if (operand->FCalcStep >= ACalcStep)
                return false;
        FCalcStep = ACalcStep;
    }
    return FCalcStep != Unassigned;
}

// ------------------------------------------------------------------ controller

bool TVisibilityController::TNameLess::operator()(const MyAnsiString& A, const MyAnsiString& B) const {
    return SLCompareNames(A, B) < 0;
}

TVisibilityController::TVisibilityController() = default;
TVisibilityController::~TVisibilityController() = default;

void TVisibilityController::LoadFlags(const TSLDictionary& InitDict) {
    if (!InitDict.NameExists("VisibilityFlags"))
        return;
    auto* flags = dynamic_cast<TSLArray*>(InitDict.GetObjWithName("VisibilityFlags"));
    if (!flags)
        throw EInvalidCast();
    auto entry = [&](int i) -> TSLDictionary& {
        auto* d = dynamic_cast<TSLDictionary*>(flags->GetObjAtIndex(i));
        if (!d)
            throw EInvalidCast();
        return *d;
    };
    for (int i = 0; i < flags->GetCount(); ++i) {
        const TSLDictionary& d = entry(i);
        const MyAnsiString type = d.GetStrWithName("Type");
        const MyAnsiString name = d.GetStrWithName("Name");
        const char kind = type.empty() ? '\0' : type[0];
        if (kind == 'B' || kind == 'C') {
            if (FlagList.contains(name))
                throw Exception(MyAnsiString(ClassName()) + ".LoadFlags: visibility flag with name '" + name + "' already exists");
            FlagList.emplace(name, std::make_unique<TVisibilityFlag>(*this));
        } else if (kind == 'I') {
            GetFlag(name);
        } else {
            throw Exception("unknow visibility flag type '" + type + "' for '" + name + "'");
        }
    }
    for (int i = 0; i < flags->GetCount(); ++i) {
        const TSLDictionary& d = entry(i);
        const MyAnsiString type = d.GetStrWithName("Type");
        if (type.empty() || type[0] != 'C')
            continue;
        auto* equation = dynamic_cast<TSLArray*>(d.GetObjWithName("Equation"));
        if (!equation)
            throw EInvalidCast();
        GetFlag(d.GetStrWithName("Name")).SetEquation(*equation);
    }
    SetupCalcOrder();
}

TVisibilityFlag* TVisibilityController::FindFlag(const MyAnsiString& AName) const {
    auto it = FlagList.find(AName);
    return it == FlagList.end() ? nullptr : it->second.get();
}

TVisibilityFlag& TVisibilityController::GetFlag(const MyAnsiString& AName) const {
    if (TVisibilityFlag* f = FindFlag(AName))
        return *f;
    throw Exception("visibility flag with name '" + AName + "' not found");
}

MyAnsiString TVisibilityController::GetNameOfFlag(const TVisibilityFlag* AFlag) const {
    for (const auto& [name, flag] : FlagList)
        if (flag.get() == AFlag)
            return name;
    return {};
}

void TVisibilityController::PrepareCalculation() {
    for (auto& [name, flag] : FlagList) flag->SetValue(false);
}

void TVisibilityController::CreateSnapshot() {
    for (auto& [name, flag] : FlagList) flag->CreateSnapshot();
}

bool TVisibilityController::CompareSnapshot() const {
    return std::all_of(FlagList.begin(), FlagList.end(), [](const auto& e) { return e.second->CompareSnapshot(); });
}

void TVisibilityController::ExecuteCalculation() {
    for (unsigned step = 0; step <= FLastCalcStep; ++step)
        for (auto& [name, flag] : FlagList)
            if (flag->CalcStep() == step)
                flag->Calculate(BitStack);
}

void TVisibilityController::SetupCalcOrder() {
    FLastCalcStep = 0;
    for (;;) {
        bool all = true;
        for (auto& [name, flag] : FlagList)
            if (!flag->SetupCalcOrder(FLastCalcStep))
                all = false;
        if (all || FLastCalcStep == TVisibilityFlag::Unassigned)
            break;
        ++FLastCalcStep;
    }
    for (const auto& [name, flag] : FlagList)
        if (flag->CalcStep() == TVisibilityFlag::Unassigned)
            throw Exception(MyAnsiString(ClassName()) + ".SetupCalcOrder: circular references");
}

} // namespace vo
