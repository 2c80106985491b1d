#include "kernel/PropList.h"

#include "platform/Exception.h"

namespace vo {

using ansi::Fmt;

TPropertyItem::TPropertyItem(TPropertyList* AOwner, const MyAnsiString& AName) : FName(AName), FOwner(AOwner) {}

TPropertyItem::~TPropertyItem() = default;

TPropertyList::~TPropertyList() = default;

void TPropertyList::Insert(std::unique_ptr<TPropertyItem> AItem) {
    if (FNameList.contains(AItem->Name())) throw Exception("String list does not allow duplicates");
    FNameList.emplace(AItem->Name(), AItem.get());
    FItemList.push_back(std::move(AItem));
}

TPropertyItem& TPropertyList::GetItemAtIndex(int AIndex) const {
    if (AIndex < 0 || AIndex >= GetCount()) throw Exception(Fmt("List index out of bounds (%d)", AIndex));
    return *FItemList[static_cast<std::size_t>(AIndex)];
}

TPropertyItem& TPropertyList::GetItemWithName(const MyAnsiString& AName) const {
    const auto it = FNameList.find(AName);
    if (it == FNameList.end()) throw Exception(Fmt("Property with Name '%s' not found", AName.c_str()));
    return *it->second;
}

MyAnsiString ReplaceBrTags(const MyAnsiString& AStr) {
    static constexpr std::string_view tag = "<BR>";
    MyAnsiString out;
    out.reserve(AStr.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = ansi::FindText(AStr, tag, pos);
        if (hit == std::string_view::npos) break;
        out.append(AStr, pos, hit - pos);
        out.push_back('\r');
        pos = hit + tag.size();
    }
    out.append(AStr, pos, MyAnsiString::npos);
    return out;
}

void TPropertyList::AddInfoStringListItem(const MyAnsiString& ALanguage, const MyAnsiString& AInfoStr) {
    FInfoStringList.push_back({ALanguage, ReplaceBrTags(AInfoStr)});
}

void TPropertyList::SetInfoStr(const TPropertyList& APropertyList) {
    if (&APropertyList == this) return;
    ClearInfoStringList();
    for (const auto& info : APropertyList.FInfoStringList) AddInfoStringListItem(info.FLanguage, info.FInfoStr);
}

void TPropertyList::ReplaceInfoStr(const MyAnsiString& ALanguage, const MyAnsiString& AInfoStr) {
    for (auto& info : FInfoStringList)
        if (ansi::SameText(info.FLanguage, ALanguage)) {
            info = TInfoStringListItem{ALanguage, AInfoStr};
            return;
        }
    FInfoStringList.push_back({ALanguage, AInfoStr});
}

MyAnsiString TPropertyList::GetLanguageWithIndex(int Index) const {
    if (Index < 0 || Index >= GetNoOfInfoStr()) throw Exception(Fmt("List index out of bounds (%d)", Index));
    return FInfoStringList[static_cast<std::size_t>(Index)].FLanguage;
}

const TInfoStringListItem* TPropertyList::FindInfo(const MyAnsiString& ALanguage) const noexcept {
    for (const auto& info : FInfoStringList)
        if (ansi::SameText(info.FLanguage, ALanguage)) return &info;
    return nullptr;
}

MyAnsiString TPropertyList::GetInfoStr(const MyAnsiString& Language) const {
    if (const auto* info = FindInfo(Language)) return info->FInfoStr;
    if (const auto* info = FindInfo("English")) return info->FInfoStr;
    return {};
}

MyAnsiString TPropertyList::GetHtmlInfoStr(const MyAnsiString& Language) const {
    const MyAnsiString text = GetInfoStr(Language);
    MyAnsiString out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\r')
            out += "<p>";
        else
            out.push_back(c);
    }
    return out;
}

} // namespace vo
