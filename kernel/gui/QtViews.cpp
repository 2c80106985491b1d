#include "kernel/gui/QtViews.h"

#include <QLayout>
#include <QVBoxLayout>

namespace vo {

namespace {

QWidget* WidgetOf(TViewControl* AControl) {
    auto* control = dynamic_cast<TQtViewControl*>(AControl);
    return control ? control->Widget() : nullptr;
}

} // namespace

TQtViewControl::TQtViewControl(QWidget* AWidget, TQtViewControl* AHome) : FWidget(AWidget), FParent(AHome) {}

TQtViewControl::~TQtViewControl() = default;

void TQtViewControl::SetParent(TViewControl* AParent) {
    FParent = AParent;
    if (!FWidget) return;
    const bool visible = FWidget->isVisibleTo(FWidget->parentWidget());
    FWidget->setParent(WidgetOf(AParent)); // leaves the old parent's layout on its own
    FWidget->setVisible(visible && FWidget->parentWidget());
}

void TQtViewControl::SetVisible(bool Value) {
    if (FWidget) FWidget->setVisible(Value);
}

bool TQtViewControl::GetVisible() const {
    return FWidget && !FWidget->isHidden();
}

void TQtViewControl::AlignClient() {
    if (!FWidget) return;
    QWidget* parent = FWidget->parentWidget();
    if (!parent) return;
    QLayout* layout = parent->layout();
    if (!layout) {
        layout = new QVBoxLayout(parent);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    if (layout->indexOf(FWidget) < 0) layout->addWidget(FWidget);
}

TQtApplicationView::TQtApplicationView(TApplicationViewFactory& AOwner)
    : TApplicationView(AOwner), FForm(std::make_unique<QWidget>()), FPanelWidget(new QWidget(FForm.get())),
      FStatusBarWidget(new QStatusBar(FForm.get())), FFormControl(FForm.get()),
      FPanelControl(FPanelWidget, &FFormControl), FStatusBarControl(FStatusBarWidget, &FFormControl) {
    FForm->hide();
    SetPanel(&FPanelControl);
    SetStatusBar(&FStatusBarControl);
}

TQtApplicationView::~TQtApplicationView() {
    // A view freed while docked (its factory went first) takes its widgets
    // home without notifications: the concrete view is gone already.
    if (FPanelWidget && FPanelWidget->parentWidget() != FForm.get()) FPanelWidget->setParent(FForm.get());
    if (FStatusBarWidget && FStatusBarWidget->parentWidget() != FForm.get()) FStatusBarWidget->setParent(FForm.get());
}

} // namespace vo
