#pragma once
// Property lists: the small set of named properties that every inspectable
// object carries (values read and written as text through accessors of the
// owning object), an object-type caption and one description text per
// language. The object inspector shows them; the concrete item classes are in
// kernel/PropItms.h.
#include <map>
#include <memory>
#include <vector>

#include "kernel/AnsiText.h"
#include "kernel/Object.h"
#include "platform/AnsiString.h"

namespace vo {

class TPropertyList;

// One property of a list. The value crosses between the inspector and the item
// as text (code page 1252); `AObj` is the inspected object, handed to the
// accessors of the concrete item.
class TPropertyItem {
public:
    TPropertyItem(TPropertyList* AOwner, const MyAnsiString& AName);
    TPropertyItem(const TPropertyItem&) = delete;
    TPropertyItem& operator=(const TPropertyItem&) = delete;
    virtual ~TPropertyItem();

    virtual void SetValue(TObject* AObj, const MyAnsiString& AStr) = 0;
    virtual MyAnsiString GetValue(TObject* AObj) const = 0;
    virtual bool GetReadOnly() const = 0;

    // The caption, or the name when the caption is empty.
    MyAnsiString GetCaption() const { return FCaption.empty() ? FName : FCaption; }

    const MyAnsiString& Name() const noexcept { return FName; }
    const MyAnsiString& Caption() const noexcept { return FCaption; }
    void SetCaption(const MyAnsiString& Value) { FCaption = Value; }
    // The inspector disables the row's editor when set.
    bool ReadOnly() const noexcept { return FReadOnly; }
    void SetReadOnly(bool Value) noexcept { FReadOnly = Value; }
    TPropertyList* Owner() const noexcept { return FOwner; }
    // "EDIT" (free text, the initial viewer) or "COMBO" (fixed choices).
    const MyAnsiString& Viewer() const noexcept { return FViewer; }
    void SetViewer(const MyAnsiString& Value) { FViewer = Value; }
    // The choices of a "COMBO" item, separated by "," (blanks are kept).
    const MyAnsiString& ComboListStr() const noexcept { return FComboListStr; }
    void SetComboListStr(const MyAnsiString& Value) { FComboListStr = Value; }

private:
    MyAnsiString FName;
    MyAnsiString FCaption;
    bool FReadOnly = false;
    TPropertyList* FOwner;
    MyAnsiString FViewer = "EDIT";
    MyAnsiString FComboListStr;
};

// A description of the object in one language; line breaks are single
// carriage returns (character 13).
struct TInfoStringListItem {
    MyAnsiString FLanguage;
    MyAnsiString FInfoStr;
};

class TPropertyList {
public:
    TPropertyList() = default;
    TPropertyList(const TPropertyList&) = delete;
    TPropertyList& operator=(const TPropertyList&) = delete;
    ~TPropertyList();

    // Creates an item of class T (constructor T(TPropertyList*, name)), appends
    // it and enters it in the name list. A name already present (letter case
    // ignored) raises the name list's duplicate error and adds nothing.
    template <class T>
    T& Add(const MyAnsiString& AName) {
        auto item = std::make_unique<T>(this, AName);
        T& ref = *item;
        Insert(std::move(item));
        return ref;
    }

    int GetCount() const noexcept { return static_cast<int>(FItemList.size()); }
    TPropertyItem& GetItemAtIndex(int AIndex) const;
    MyAnsiString GetNameAtIndex(int AIndex) const { return GetItemAtIndex(AIndex).Name(); }
    // Letter case ignored; a missing name raises "Property with Name '%s' not found".
    TPropertyItem& GetItemWithName(const MyAnsiString& AName) const;

    const MyAnsiString& ObjType() const noexcept { return FObjType; }
    void SetObjType(const MyAnsiString& Value) { FObjType = Value; }

    // Descriptions. Every "<BR>" (any letter case) becomes a carriage return.
    void AddInfoStringListItem(const MyAnsiString& ALanguage, const MyAnsiString& AInfoStr);
    void ClearInfoStringList() noexcept { FInfoStringList.clear(); }
    // Replaces this list's descriptions by copies of the other list's, in order.
    void SetInfoStr(const TPropertyList& APropertyList);
    // Replaces the description of a language the list holds, at its position;
    // the text is stored as given. A language the list does not hold is
    // appended (as given) so that no text is lost.
    void ReplaceInfoStr(const MyAnsiString& ALanguage, const MyAnsiString& AInfoStr);
    int GetNoOfInfoStr() const noexcept { return static_cast<int>(FInfoStringList.size()); }
    MyAnsiString GetLanguageWithIndex(int Index) const;
    // The description of the language (first match, case ignored); a language
    // without one gives the "English" description, else "". An empty
    // description of a present language is returned as it is.
    MyAnsiString GetInfoStr(const MyAnsiString& Language) const;
    // GetInfoStr with every carriage return replaced by "<p>".
    MyAnsiString GetHtmlInfoStr(const MyAnsiString& Language) const;

private:
    void Insert(std::unique_ptr<TPropertyItem> AItem);
    const TInfoStringListItem* FindInfo(const MyAnsiString& ALanguage) const noexcept;

    std::vector<std::unique_ptr<TPropertyItem>> FItemList;
    std::map<MyAnsiString, TPropertyItem*, ansi::TextLess> FNameList;
    MyAnsiString FObjType;
    std::vector<TInfoStringListItem> FInfoStringList;
};

// Replaces every "<BR>" (any letter case) by one carriage return.
MyAnsiString ReplaceBrTags(const MyAnsiString& AStr);

} // namespace vo
