#pragma once
// The "Object Inspector": the program's one tool window that shows the
// property list of the object selected last (its type, up to ten properties
// as caption and editor rows, and its description in the user's language),
// and writes edited values back through the property items. Views call
// EditObjectProperties when their selection changes and Clear when nothing
// inspectable is selected. The rows' rules are kernel/InspRows.h.
#include "kernel/Object.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTextEdit;

namespace vo {

class TPropertyList;

// One row: caption, edit field, drop-down list.
struct TEditBox {
    QLabel* InfoLabel = nullptr;
    QLineEdit* Edit = nullptr;
    QComboBox* Combo = nullptr;
};

class TPropertyInspector : public QWidget {
    Q_OBJECT
public:
    explicit TPropertyInspector(QWidget* Parent = nullptr);
    ~TPropertyInspector() override;

    // Shows the list of AObj (at most ten properties).
    void EditObjectProperties(TObject* AObj, TPropertyList* APropertyList);
    // Shows nothing but the help tab.
    void Clear();
    bool IsAssignedTo(const TPropertyList* APropList) const {
        return APropList && APropList == FPropertyList;
    }
    // Re-reads every language text (and the description while a list is shown).
    void UpdateInfoText();

    TPropertyList* PropertyList() const { return FPropertyList; }
    TObject* EditObject() const { return FEditObject; }

    QTabWidget* PageControl1;
    QWidget* HelpTab;
    QWidget* InfoTab;
    QTextEdit* InfoBox;
    QTextEdit* InfoRichEdit;
    QWidget* Panel2;
    QCheckBox* ShowCheckBox;
    QPushButton* Button1;
    QLabel* InfoInfoLabel;
    TEditBox ObjTypeEditBox;
    std::array<TEditBox, 10> EditBoxList;

protected:
    void showEvent(QShowEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void Layout();
    void ShowDescription();
    void Write(int Row);
    int RowOf(QObject* Control) const;

    TPropertyList* FPropertyList = nullptr; // not owned
    TObject* FEditObject = nullptr;
    int FRows = 0; // rows shown
    bool FFilling = false;
};

// The program's inspector (nullptr while none exists).
TPropertyInspector* PropertyInspector() noexcept;

} // namespace vo
