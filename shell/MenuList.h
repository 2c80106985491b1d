#pragma once
// A list of menu entries (windows, views, languages) shared by every project
// tree window: the active window lends one of its menu entries as the anchor,
// and while it holds the list the entries are shown directly behind that
// anchor; clicking one calls the list's handler with the entry's object. The
// menus themselves are the GUI's: an anchor is told whenever the entries it
// shows change and rebuilds them from the list.
#include "platform/AnsiString.h"

#include <functional>
#include <vector>

namespace vo {

class TMenuList;

// The place of a window's menu where a list is shown.
class TMenuAnchor {
public:
    virtual ~TMenuAnchor() = default;
    // The entries behind the anchor must become List's current ones (empty
    // when the list is released).
    virtual void MenuListChanged(const TMenuList& List, bool Shown) = 0;
};

struct TMenuListItem {
    MyAnsiString Caption; // the list caption (without the shortcut prefix)
    MyAnsiString Shortcut; // a key sequence text, or empty
    void* Object = nullptr; // the window, form or language entry
};

class TMenuList {
public:
    static const char* ClassName() { return "TMenuList"; }
    using TMenuClick = std::function<void(void* Object)>;

    TMenuList(bool ASorted = false, bool AAutoShortcut = false, TMenuClick AOnMenuClick = {});

    // At the sorted position when sorted, else at the end. Returns the index.
    int Add(const MyAnsiString& Caption, const MyAnsiString& Shortcut, void* AObject);
    // Index must lie in 0..Count(), else "TMenuList.Insert: index out of range".
    void Insert(int Index, const MyAnsiString& Caption, const MyAnsiString& Shortcut, void* AObject);
    void Delete(int Index);
    // Deletes the first entry of AObject; nothing when there is none.
    void RemoveObject(void* AObject);
    int IndexOfObject(void* AObject) const;

    // Request true: shows the entries behind InsertItem ("TMenuList.
    // MenuListRequest: menu is already in use" while another anchor holds the
    // list). Request false: takes them away ("TMenuList.MenuListRequest:
    // wrong insert menu item for release" for another anchor); a release
    // without an active anchor does nothing.
    void MenuListRequest(TMenuAnchor* InsertItem, bool Request);
    TMenuAnchor* ActiveMenu() const { return FActiveMenu; }

    void SetAutoShortcut(bool Value);
    bool AutoShortcut() const { return FAutoShortcut; }
    bool Sorted() const { return FSorted; }

    int Count() const { return static_cast<int>(FItems.size()); }
    const TMenuListItem& Item(int Index) const { return FItems.at(Index); }
    // The caption shown: "&1 " .. "&9 ", "&A " .. "&Z " for the first 35
    // entries, two blanks for further ones with automatic shortcuts; the list
    // caption alone without.
    MyAnsiString DisplayCaption(int Index) const;
    // The click on entry Index.
    void MenuClick(int Index) const;

    TMenuClick FOnMenuClick;

private:
    void Changed();

    TMenuAnchor* FActiveMenu = nullptr;
    std::vector<TMenuListItem> FItems;
    bool FSorted;
    bool FAutoShortcut;
    static constexpr const char* FShortcutList = "123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
};

} // namespace vo
