#include "motorwizard/MotWizValue.h"

#include "kernel/LanguageMan.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"

namespace vo {

TWizardValue::TWizardValue(const TSLDictionary& Dict) {
    if (Dict.GetNameExists("Caption")) {
        FCaption = Dict.GetStrWithName("Caption");
    } else if (Dict.GetNameExists("CaptionKeyWord")) {
        FCaptionKeyWord = Dict.GetStrWithName("CaptionKeyWord");
        LanguageDependentCaption = true;
    }
    if (Dict.GetNameExists("OnChange"))
        FOnChangeArray = TRef<TSLArray>(SLCast<TSLArray>(Dict.GetObjWithName("OnChange"))->CopyRef());
}

TWizardValue::~TWizardValue() = default;

MyAnsiString TWizardValue::GetCaption() const {
    return LanguageDependentCaption ? LangText(FCaptionKeyWord) : FCaption;
}

TWizValDouble::TWizValDouble(const TSLDictionary& Dict) : TWizardValue(Dict) {
    FType = "DOUBLE";
    if (Dict.GetNameExists("Value"))
        FValue = Dict.GetFloatWithName("Value");
    if (Dict.GetNameExists("UUID"))
        FUUID = static_cast<std::int32_t>(Dict.GetIntWithName("UUID"));
}

TWizValInteger::TWizValInteger(const TSLDictionary& Dict) : TWizardValue(Dict) {
    FType = "INTEGER";
    if (Dict.GetNameExists("Value"))
        FValue = static_cast<std::int32_t>(Dict.GetIntWithName("Value"));
}

TWizValString::TWizValString(const TSLDictionary& Dict) : TWizardValue(Dict) {
    FType = "STRING";
    if (Dict.GetNameExists("Value"))
        FValue = Dict.GetStrWithName("Value");
}

} // namespace vo
