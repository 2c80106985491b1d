#pragma once
// The rows of the motor wizard's check list: one per changed wizard
// parameter that the drive has, with the drive's actual value and the
// wizard's recommendation. A ticked row takes the recommendation when the
// list is accepted; an unticked row keeps the actual value. The form shows
// and ticks these rows; what they hold after Apply is what the manager then
// writes.
//
// GUI thread only.
#include <vector>

#include "platform/AnsiString.h"

namespace vo {

class TMotWizManager;
class TWizardParameter;

struct TFinishCheckRow {
    TWizardParameter* Par = nullptr;
    MyAnsiString Caption; // the drive parameter's caption
    MyAnsiString UPIDText; // "%4.4X" + "h" in the UPID display mode "HEX", else decimal
    MyAnsiString ActualValue;
    MyAnsiString WizardValue;
    MyAnsiString Path; // the drive parameter's path in the tree
    bool Checked = true;
};

// A floating value shown as the wizard shows it: converted to the raw
// integer of the drive unit UUID (SI), then to the current unit system,
// and, with WithUnit, the unit caption right behind it.
MyAnsiString WizValueText(const TMotWizManager& Manager, std::int32_t UUID, double Value, bool WithUnit = true);

class TFinishCheck {
public:
    // Fills the rows from the manager's change list.
    void Init(const TMotWizManager& Manager);
    void SelectAll();
    void DeselectAll();
    // Accepting the list: every ticked row's drive value becomes its
    // recommendation.
    void Apply();

    int GetRowCount() const noexcept { return static_cast<int>(FRows.size()); }
    TFinishCheckRow& GetRow(int Index) { return FRows.at(static_cast<std::size_t>(Index)); }
    const std::vector<TFinishCheckRow>& Rows() const noexcept { return FRows; }

private:
    std::vector<TFinishCheckRow> FRows;
};

} // namespace vo
