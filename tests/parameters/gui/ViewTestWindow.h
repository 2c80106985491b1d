#pragma once
// A small project window for view tests (offscreen): a panel area above a
// status area, each with its view control, a tree view, and the entry
// manager and view host once a device's model is bound to them.
#include "devices/DevMan.h"
#include "kernel/ModTree.h"
#include "kernel/TreeView.h"
#include "kernel/gui/QtViews.h"

#include <QCoreApplication>
#include <QVBoxLayout>
#include <QWidget>

#include <functional>
#include <memory>

namespace vo::test {

struct ViewTestWindow {
    void ShowWindow() {
        Window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(Window.get());
        PanelArea = new QWidget(Window.get());
        StatusArea = new QWidget(Window.get());
        layout->addWidget(PanelArea, 1);
        layout->addWidget(StatusArea);
        PanelCtl = std::make_unique<TQtViewControl>(PanelArea);
        StatusCtl = std::make_unique<TQtViewControl>(StatusArea);
        Window->resize(900, 500);
        Window->show();
    }

    // Puts the device's model below the "Project" root and shows the selected
    // entry's view in the panel area.
    void BindProject(TModelManager& AModel, TDevice& ADevice) {
        AModel.Root().SetCaption("Project");
        ADevice.Model().SetCaption(ADevice.GetModelCaption());
        if (!ADevice.Model().Parent())
            AModel.Root().AddChild(ADevice.Model());
        Entries = std::make_unique<TEntryManager>(AModel, Tree);
        Host = std::make_unique<TApplicationViewHost>(PanelCtl.get(), nullptr, StatusCtl.get());
        Entries->OnUpdate = [this] { Host->ShowSelected(*Entries); };
        Entries->OnEntryFree = [this](TEntryItem& E) { Host->EntryFreed(E); };
        Device = &ADevice;
    }
    void UnbindProject() {
        Host.reset();
        Entries.reset();
    }

    // Pred, with the Qt events handled before each look.
    static std::function<bool()> WithQtEvents(const std::function<bool()>& Pred) {
        return [Pred] {
            QCoreApplication::processEvents();
            return Pred();
        };
    }

    std::unique_ptr<QWidget> Window;
    QWidget* PanelArea = nullptr;
    QWidget* StatusArea = nullptr;
    std::unique_ptr<TQtViewControl> PanelCtl;
    std::unique_ptr<TQtViewControl> StatusCtl;
    TTreeView Tree;
    std::unique_ptr<TEntryManager> Entries;
    std::unique_ptr<TApplicationViewHost> Host;
    TDevice* Device = nullptr;
};

} // namespace vo::test
