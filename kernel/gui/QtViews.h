#pragma once
// The Qt side of the application views: widgets as dockable view controls,
// and the base of every concrete Qt view (a hidden form that holds the view's
// panel and status bar while the view is not docked into the project window).
#include <QPointer>
#include <QStatusBar>
#include <QWidget>

#include <memory>

#include "kernel/ModView.h"

namespace vo {

// A widget as a view control: a view's panel or status bar, or a place of the
// project window where they are docked. Docking puts the widget into the
// parent's layout (a zero-margin vertical layout is made when the parent has
// none), so that it fills the parent.
class TQtViewControl : public TViewControl {
public:
    // AHome: the control the widget belongs to now (its form), or null.
    explicit TQtViewControl(QWidget* AWidget, TQtViewControl* AHome = nullptr);
    ~TQtViewControl() override;

    QWidget* Widget() const noexcept { return FWidget; }

    TViewControl* GetParent() const override { return FParent; }
    void SetParent(TViewControl* AParent) override;
    void SetVisible(bool Value) override;
    bool GetVisible() const override;
    void AlignClient() override;

private:
    QPointer<QWidget> FWidget;
    TViewControl* FParent;
};

// Base of the Qt views. The form (a hidden top-level widget) owns the panel
// and the status bar; concrete views put their controls on Panel().
class TQtApplicationView : public TApplicationView {
public:
    explicit TQtApplicationView(TApplicationViewFactory& AOwner);
    // Widgets still docked elsewhere come home and go with the form.
    ~TQtApplicationView() override;

    QWidget* Form() const noexcept { return FForm.get(); }
    QWidget* PanelWidget() const noexcept { return FPanelWidget; }
    QStatusBar* StatusBarWidget() const noexcept { return FStatusBarWidget; }

private:
    std::unique_ptr<QWidget> FForm;
    QPointer<QWidget> FPanelWidget; // child of the form while not docked
    QPointer<QStatusBar> FStatusBarWidget; // likewise
    TQtViewControl FFormControl;
    TQtViewControl FPanelControl;
    TQtViewControl FStatusBarControl;
};

} // namespace vo
