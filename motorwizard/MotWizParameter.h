#pragma once
// Wizard parameters: the items of an actuator definition file that are bound
// to one drive parameter by UPID and finally written to the drive. Each holds
// three values of its type: the default (file's "DefValue", else the drive
// parameter's default; the target of rule assignments), the tree value (the
// drive's value, written back at the end) and the rule value (the value the
// rules and procedures recommend).
//
// GUI thread only.
#include <cstdint>
#include <memory>

#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

namespace vo {

class TSLArray;
class TSLDictionary;
class TWizTree;

class TWizardParameter {
public:
    virtual ~TWizardParameter();
    TWizardParameter(const TWizardParameter&) = delete;
    TWizardParameter& operator=(const TWizardParameter&) = delete;

    virtual const char* TypeName() const = 0;
    // The caption: the language text of the keyword when the file gave one.
    MyAnsiString GetCaption() const;

    TRef<TSLArray> FOnChangeArray;
    MyAnsiString FCaption;
    MyAnsiString FCaptionKeyWord;
    bool LanguageDependentCaption = false;
    MyAnsiString FName;
    std::int32_t FTreeUPID = 0;
    bool FStartWithTreeValue = false;
    bool FReadOnlyPar = false;
    bool FErrorFlag = false;
    bool FWarnFlag = false;
    bool FFoundInTree = false;
    MyAnsiString FInfoText;
    bool FAutoDetected = false;

protected:
    // "Name", "TreeUPID", the caption (file, keyword or the drive
    // parameter's), the flags and "OnChange". Keys of the wrong type raise.
    TWizardParameter(const TSLDictionary& Dict, TWizTree* Tree);
};

// "DOUBLE": values in SI units, bound to an integer parameter.
class TWizParDouble : public TWizardParameter {
public:
    TWizParDouble(const TSLDictionary& Dict, TWizTree* Tree);
    const char* TypeName() const override { return "DOUBLE"; }
    double FDefaultValue = 0, FTreeValue = 0, FRuleValue = 0;
    double FMinValue = 0, FMaxValue = 0;
    std::int32_t FUUID = 0;
};

class TWizParString : public TWizardParameter {
public:
    TWizParString(const TSLDictionary& Dict, TWizTree* Tree);
    const char* TypeName() const override { return "STRING"; }
    MyAnsiString FDefaultValue, FTreeValue, FRuleValue;
};

class TWizParBoolean : public TWizardParameter {
public:
    TWizParBoolean(const TSLDictionary& Dict, TWizTree* Tree);
    const char* TypeName() const override { return "BOOLEAN"; }
    bool FDefaultValue = false, FTreeValue = false, FRuleValue = false;
};

class TWizParEnum : public TWizardParameter {
public:
    TWizParEnum(const TSLDictionary& Dict, TWizTree* Tree);
    ~TWizParEnum() override;
    const char* TypeName() const override { return "ENUM"; }

    int GetENumDefCount() const;
    std::int64_t GetValueAt(int Index) const;
    // The first entry whose value equals Value (64 bits); -1 when none.
    int GetItemIndex(std::int64_t Value) const;
    MyAnsiString GetCaptionAt(int Index) const;
    MyAnsiString GetChildDescription(int Index) const;
    bool GetHide(int Index) const;
    MyAnsiString GetPrefix(int Index) const;
    MyAnsiString GetSuffix(int Index) const;
    // Prefix + caption + suffix as the choice list shows it.
    MyAnsiString GetShownText(int Index) const;
    // The first entry not hidden whose shown text equals DefName; -1.
    int GetIndexOf(const MyAnsiString& DefName) const;
    // "OnSelect" of the entry; raises "no object named" without it.
    TSLArray* GetOnSelectArrayAt(int Index) const;
    // "OnSelectCaseInt" of the entry, nullptr without it.
    TSLArray* GetOnSelectCaseIntDictAt(int Index) const;

    std::int64_t FDefaultValue = 0, FTreeValue = 0, FRuleValue = 0;
    TRef<TSLArray> ENumDefArray;

private:
    const TSLDictionary* Entry(int Index) const;
};

// The constructor of a registered class.
using TWizParClass = std::unique_ptr<TWizardParameter> (*)(const TSLDictionary& Dict, TWizTree* Tree);
template <class T>
std::unique_ptr<TWizardParameter> WizParClass(const TSLDictionary& Dict, TWizTree* Tree) {
    return std::make_unique<T>(Dict, Tree);
}

} // namespace vo
