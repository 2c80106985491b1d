#pragma once
// Wizard values: auxiliary numbers and texts of an actuator definition file
// that live only inside the wizard (lengths, masses, names, intermediate
// results). A value's name is the key the manager lists it under.
//
// GUI thread only.
#include <cstdint>
#include <memory>

#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

namespace vo {

class TSLArray;
class TSLDictionary;

class TWizardValue {
public:
    virtual ~TWizardValue();
    TWizardValue(const TWizardValue&) = delete;
    TWizardValue& operator=(const TWizardValue&) = delete;

    MyAnsiString GetCaption() const;

    MyAnsiString FCaption;
    MyAnsiString FCaptionKeyWord;
    bool LanguageDependentCaption = false;
    TRef<TSLArray> FOnChangeArray;
    MyAnsiString FType; // "DOUBLE", "INTEGER" or "STRING"
    bool FErrorFlag = false;
    MyAnsiString FInfoText;

protected:
    explicit TWizardValue(const TSLDictionary& Dict);
};

class TWizValDouble : public TWizardValue {
public:
    explicit TWizValDouble(const TSLDictionary& Dict);
    double FValue = 0; // SI
    std::int32_t FUUID = 0;
};

class TWizValInteger : public TWizardValue {
public:
    explicit TWizValInteger(const TSLDictionary& Dict);
    std::int32_t FValue = 0;
};

class TWizValString : public TWizardValue {
public:
    explicit TWizValString(const TSLDictionary& Dict);
    MyAnsiString FValue;
    MyAnsiString FPrefix;
};

using TWizValClass = std::unique_ptr<TWizardValue> (*)(const TSLDictionary& Dict);
template <class T>
std::unique_ptr<TWizardValue> WizValClass(const TSLDictionary& Dict) {
    return std::make_unique<T>(Dict);
}

} // namespace vo
