#pragma once
// What the object inspector shows, without its widgets: one row per property
// of a list (caption, editor kind, value, choices), the description, and the
// link to the option "Show Object Inspector after Login", which the login
// dialog holds. The form is kernel/gui/PropEdit.h.
#include "kernel/Object.h"
#include "kernel/PropList.h"
#include "platform/AnsiString.h"

#include <functional>
#include <vector>

namespace vo {

// Parameters and variables carry their own property list with their
// description; the inspector takes the description from it.
class TInspectableItem {
public:
    virtual ~TInspectableItem() = default;
    virtual TPropertyList* ItemPropList() = 0;
};

enum class TInspectorViewer : uint8_t { ivEdit,
                                        ivCombo,
                                        ivOther };

struct TInspectorRow {
    MyAnsiString Caption;
    TInspectorViewer Viewer = TInspectorViewer::ivOther;
    bool Enabled = true; // not read-only
    MyAnsiString Value;
    std::vector<MyAnsiString> Choices; // "COMBO": the list's choices, split at ","
    int Selected = -1; // "COMBO": the choice equal to the value (case ignored), -1 for none
};

// The inspector shows at most this many properties.
inline constexpr int InspectorMaxRows = 10;

// The rows of a list for an object, in list order (at most InspectorMaxRows).
std::vector<TInspectorRow> InspectorRows(const TPropertyList& List, TObject* Obj);
// The choice of Choices equal to Value (case ignored), -1 for none.
int InspectorChoice(const std::vector<MyAnsiString>& Choices, const MyAnsiString& Value);
// The description in Language: from the object's own list when it is an
// inspectable item, else from List.
MyAnsiString InspectorDescription(const TPropertyList& List, TObject* Obj, const MyAnsiString& Language);

// Writes Text to the property at Index; a failure is shown in a message box
// and the value is read again. Returns the value the row shows afterwards.
MyAnsiString InspectorWrite(TPropertyList& List, int Index, TObject* Obj, const MyAnsiString& Text);

// The option "Show Object Inspector after Login": the login dialog installs
// its getter and setter; without them the option reads false.
struct TShowInspectorOption {
    std::function<bool()> Get;
    std::function<void(bool)> Set;
};
TShowInspectorOption& ShowInspectorOption();

} // namespace vo
