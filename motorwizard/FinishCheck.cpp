#include "motorwizard/FinishCheck.h"

#include <cstdio>

#include "kernel/ShellServices.h"
#include "motorwizard/MotWizMan.h"
#include "motorwizard/WizTree.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"

namespace vo {

namespace {

MyAnsiString UPIDCell(std::int32_t UPID) {
    if (ShellServices().UPIDDispMode() == "HEX") {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%4.4X", static_cast<unsigned>(UPID));
        return MyAnsiString(buf) + "h";
    }
    return std::to_string(UPID);
}

MyAnsiString EnumCaption(const TWizParEnum& E, std::int64_t Value) {
    const int i = E.GetItemIndex(Value);
    return i >= 0 ? E.GetCaptionAt(i) : MyAnsiString();
}

MyAnsiString BoolText(bool B) { return B ? "True" : "False"; }

} // namespace

MyAnsiString WizValueText(const TMotWizManager& Manager, std::int32_t UUID, double Value, bool WithUnit) {
    const TDeviceUnit& u = *Manager.FindUnit(UUID);
    const TUnitSystem us = UnitManager().GetUnitSystem();
    MyAnsiString text = u.IntToValStr(us, u.ValToInt(usSI, Value));
    if (WithUnit)
        text += u.GetUnitCaption(us);
    return text;
}

void TFinishCheck::Init(const TMotWizManager& Manager) {
    FRows.clear();
    TWizTree* tree = Manager.Tree();
    for (int i = 0; i < Manager.GetChangedWizParCount(); ++i) {
        TWizardParameter& w = Manager.GetChangedWizParAtIndex(i);
        if (!w.FFoundInTree || !tree)
            continue;
        TWizTreePar* p = tree->FindParameter(w.FTreeUPID);
        if (!p)
            continue;
        TFinishCheckRow r;
        r.Par = &w;
        r.Caption = p->Caption();
        r.UPIDText = UPIDCell(p->UPID());
        r.Path = p->Path();
        if (auto* d = dynamic_cast<TWizParDouble*>(&w)) {
            r.ActualValue = WizValueText(Manager, d->FUUID, d->FTreeValue);
            r.WizardValue = WizValueText(Manager, d->FUUID, d->FRuleValue);
        } else if (auto* e = dynamic_cast<TWizParEnum*>(&w)) {
            r.ActualValue = e->GetItemIndex(e->FTreeValue) >= 0 ? EnumCaption(*e, e->FTreeValue)
                                                                : "Raw Data Value: " + std::to_string(e->FTreeValue);
            r.WizardValue = EnumCaption(*e, e->FRuleValue);
        } else if (auto* s = dynamic_cast<TWizParString*>(&w)) {
            r.ActualValue = s->FTreeValue;
            r.WizardValue = s->FRuleValue;
        } else if (auto* b = dynamic_cast<TWizParBoolean*>(&w)) {
            r.ActualValue = BoolText(b->FTreeValue);
            r.WizardValue = BoolText(b->FRuleValue);
        }
        FRows.push_back(std::move(r));
    }
}

void TFinishCheck::SelectAll() {
    for (auto& r : FRows) r.Checked = true;
}

void TFinishCheck::DeselectAll() {
    for (auto& r : FRows) r.Checked = false;
}

void TFinishCheck::Apply() {
    for (auto& r : FRows) {
        if (!r.Checked)
            continue;
        if (auto* d = dynamic_cast<TWizParDouble*>(r.Par))
            d->FTreeValue = d->FRuleValue;
        else if (auto* e = dynamic_cast<TWizParEnum*>(r.Par))
            e->FTreeValue = e->FRuleValue;
        else if (auto* s = dynamic_cast<TWizParString*>(r.Par))
            s->FTreeValue = s->FRuleValue;
        else if (auto* b = dynamic_cast<TWizParBoolean*>(r.Par))
            b->FTreeValue = b->FRuleValue;
    }
}

} // namespace vo
