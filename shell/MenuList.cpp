#include "shell/MenuList.h"

#include "platform/Exception.h"

#include <algorithm>
#include <cstring>

namespace vo {

TMenuList::TMenuList(bool ASorted, bool AAutoShortcut, TMenuClick AOnMenuClick)
    : FOnMenuClick(std::move(AOnMenuClick)), FSorted(ASorted), FAutoShortcut(AAutoShortcut) {}

int TMenuList::Add(const MyAnsiString& Caption, const MyAnsiString& Shortcut, void* AObject) {
    int index = Count();
    if (FSorted) {
        const auto it = std::lower_bound(FItems.begin(), FItems.end(), Caption,
                                         [](const TMenuListItem& I, const MyAnsiString& C) { return I.Caption < C; });
        index = static_cast<int>(it - FItems.begin());
    }
    Insert(index, Caption, Shortcut, AObject);
    return index;
}

void TMenuList::Insert(int Index, const MyAnsiString& Caption, const MyAnsiString& Shortcut, void* AObject) {
    if (Index < 0 || Index > Count())
        throw Exception(std::string(ClassName()) + ".Insert: index out of range");
    FItems.insert(FItems.begin() + Index, TMenuListItem{Caption, Shortcut, AObject});
    Changed();
}

void TMenuList::Delete(int Index) {
    if (Index < 0 || Index >= Count())
        throw Exception(std::string(ClassName()) + ".Delete: index out of range");
    FItems.erase(FItems.begin() + Index);
    Changed();
}

int TMenuList::IndexOfObject(void* AObject) const {
    for (int i = 0; i < Count(); ++i)
        if (FItems[i].Object == AObject)
            return i;
    return -1;
}

void TMenuList::RemoveObject(void* AObject) {
    const int i = IndexOfObject(AObject);
    if (i >= 0)
        Delete(i);
}

void TMenuList::MenuListRequest(TMenuAnchor* InsertItem, bool Request) {
    if (Request) {
        if (FActiveMenu)
            throw Exception(std::string(ClassName()) + ".MenuListRequest: menu is already in use");
        FActiveMenu = InsertItem;
        if (FActiveMenu)
            FActiveMenu->MenuListChanged(*this, true);
        return;
    }
    if (!FActiveMenu)
        return;
    if (InsertItem != FActiveMenu)
        throw Exception(std::string(ClassName()) + ".MenuListRequest: wrong insert menu item for release");
    TMenuAnchor* anchor = FActiveMenu;
    FActiveMenu = nullptr;
    anchor->MenuListChanged(*this, false);
}

void TMenuList::SetAutoShortcut(bool Value) {
    FAutoShortcut = Value;
    Changed();
}

MyAnsiString TMenuList::DisplayCaption(int Index) const {
    const MyAnsiString& caption = FItems.at(Index).Caption;
    if (!FAutoShortcut)
        return caption;
    if (Index < static_cast<int>(std::strlen(FShortcutList)))
        return MyAnsiString("&") + FShortcutList[Index] + " " + caption;
    return "  " + caption;
}

void TMenuList::MenuClick(int Index) const {
    if (FOnMenuClick)
        FOnMenuClick(FItems.at(Index).Object);
}

void TMenuList::Changed() {
    if (FActiveMenu)
        FActiveMenu->MenuListChanged(*this, true);
}

} // namespace vo
