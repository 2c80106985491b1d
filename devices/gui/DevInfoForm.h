#pragma once
// The views of the device model in the project window: the device info view
// (a device entry: its identification parameters; the device or the selected
// parameter goes to the object inspector) and the project info view (the
// tree's root entry). The program gives the factories to the device manager
// (SetDeviceInfoFormFactory, SetProjectInfoFormFactory).
#include "kernel/gui/QtViews.h"

#include <memory>

class QTreeWidget;

namespace vo {

class TDevice;
class TParameterInfoService;
class TServiceClient;

class TDeviceInfoForm : public TQtApplicationView {
public:
    explicit TDeviceInfoForm(TApplicationViewFactory& AOwner);
    ~TDeviceInfoForm() override;

    void Execute(TAppViewAction Action) override;
    // The rows again (inside the list's update bracket).
    void RebuildListView();

    QTreeWidget* ListView; // "Name" (200), "Value" (300)
    TParameterInfoService* ParameterService() const { return FParameterService; }

private:
    TDevice* Device() const;
    void RowSelected();
    void RowDoubleClicked();

    TParameterInfoService* FParameterService = nullptr;
    std::unique_ptr<TServiceClient> FServiceClient;
};

class TDeviceInfoFormFactory : public TApplicationViewFactory {
protected:
    std::unique_ptr<TApplicationView> CreateApplicationView() override;
};

class TProjectInfoForm : public TQtApplicationView {
public:
    explicit TProjectInfoForm(TApplicationViewFactory& AOwner);
    QTreeWidget* ListView; // "Name", "State"
};

class TProjectInfoFormFactory : public TApplicationViewFactory {
protected:
    std::unique_ptr<TApplicationView> CreateApplicationView() override;
};

} // namespace vo
