#include "kernel/InspRows.h"

#include "kernel/AnsiText.h"
#include "kernel/UserPrompt.h"

#include <algorithm>

namespace vo {

int InspectorChoice(const std::vector<MyAnsiString>& Choices, const MyAnsiString& Value) {
    for (size_t i = 0; i < Choices.size(); ++i)
        if (ansi::SameText(Choices[i], Value))
            return static_cast<int>(i);
    return -1;
}

std::vector<TInspectorRow> InspectorRows(const TPropertyList& List, TObject* Obj) {
    std::vector<TInspectorRow> rows;
    const int n = std::min(List.GetCount(), InspectorMaxRows);
    for (int i = 0; i < n; ++i) {
        TPropertyItem& item = List.GetItemAtIndex(i);
        TInspectorRow r;
        r.Caption = item.GetCaption();
        r.Enabled = !item.ReadOnly() && !item.GetReadOnly(); // a property without setter cannot be edited either
        if (item.Viewer() == "EDIT") {
            r.Viewer = TInspectorViewer::ivEdit;
            r.Value = item.GetValue(Obj);
        } else if (item.Viewer() == "COMBO") {
            r.Viewer = TInspectorViewer::ivCombo;
            r.Value = item.GetValue(Obj);
            const MyAnsiString& all = item.ComboListStr();
            for (size_t start = 0; !all.empty();) {
                const size_t comma = all.find(',', start);
                if (comma == MyAnsiString::npos) {
                    r.Choices.push_back(all.substr(start));
                    break;
                }
                r.Choices.push_back(all.substr(start, comma - start));
                start = comma + 1;
            }
            r.Selected = InspectorChoice(r.Choices, r.Value);
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

MyAnsiString InspectorDescription(const TPropertyList& List, TObject* Obj, const MyAnsiString& Language) {
    if (auto* item = dynamic_cast<TInspectableItem*>(Obj))
        if (TPropertyList* own = item->ItemPropList())
            return own->GetInfoStr(Language);
    return List.GetInfoStr(Language);
}

MyAnsiString InspectorWrite(TPropertyList& List, int Index, TObject* Obj, const MyAnsiString& Text) {
    TPropertyItem& item = List.GetItemAtIndex(Index);
    try {
        item.SetValue(Obj, Text);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    }
    return item.GetValue(Obj);
}

TShowInspectorOption& ShowInspectorOption() {
    static TShowInspectorOption option;
    return option;
}

} // namespace vo
