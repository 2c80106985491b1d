#pragma once
// The filter editor ("Debug Filter"): the trace filter's rules as a list
// (description, code, mask, action) with the actions Insert, Add, Edit and
// Delete; the rule dialog is TFilterDialog. It edits the rules it is given
// (the debug manager's filter).
#include "kernel/FiltEdt.h"

#include <QWidget>

#include <functional>

class QAction;
class QTreeWidget;

namespace vo {

class TFilterDialog;

class TFilterEditor : public QWidget {
    Q_OBJECT
public:
    explicit TFilterEditor(TFilterRules& Rules, QWidget* Parent = nullptr);
    ~TFilterEditor() override;

    TFilterAction Filter(uint16_t ACode) const { return FRules.Filter(ACode); }
    // Flips the status request and response rules and shows it.
    void DenyAllowStatusFilter();
    // Shows the rules again (after a change from elsewhere).
    void Refresh();

    // Runs the rule dialog modally; true for OK. Tests replace it.
    std::function<bool(TFilterDialog&)> RunDialog;

    QTreeWidget* ListView;
    QAction* AcInsert;
    QAction* AcAdd;
    QAction* AcEdit;
    QAction* AcDelete;
    TFilterDialog* Dialog;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    int Selected() const;
    void Select(int Row);
    void UpdateActions();
    void Insert();
    void Add();
    void Edit();
    void Delete();

    TFilterRules& FRules;
};

// The program's filter editor (nullptr while none exists).
TFilterEditor* FilterEditor() noexcept;

} // namespace vo
