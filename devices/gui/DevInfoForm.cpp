#include "devices/gui/DevInfoForm.h"

#include "devices/DevMan.h"
#include "devices/ParInfo.h"
#include "kernel/CsServices.h"
#include "kernel/ModTree.h"
#include "kernel/gui/PropEdit.h"
#include "kernel/gui/QtText.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vo {

namespace {
constexpr int ParameterRole = Qt::UserRole + 1;

TParameterInfo* ParameterOf(QTreeWidgetItem* Item) {
    return Item ? static_cast<TParameterInfo*>(Item->data(0, ParameterRole).value<void*>()) : nullptr;
}

QTreeWidget* MakeList(QWidget* Panel, const QStringList& Heads) {
    auto* list = new QTreeWidget(Panel);
    list->setRootIsDecorated(false);
    list->setHeaderLabels(Heads);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    (new QVBoxLayout(Panel))->addWidget(list);
    return list;
}
} // namespace

TDeviceInfoForm::TDeviceInfoForm(TApplicationViewFactory& AOwner) : TQtApplicationView(AOwner) {
    ListView = MakeList(PanelWidget(), {"Name", "Value"});
    ListView->header()->resizeSection(0, 200);
    ListView->header()->resizeSection(1, 300);
    QObject::connect(ListView, &QTreeWidget::currentItemChanged, ListView, [this] { RowSelected(); });
    QObject::connect(ListView, &QTreeWidget::itemDoubleClicked, ListView, [this] { RowDoubleClicked(); });
}

TDeviceInfoForm::~TDeviceInfoForm() = default;

TDevice* TDeviceInfoForm::Device() const {
    return Model() ? dynamic_cast<TDevice*>(Model()->Data()) : nullptr;
}

void TDeviceInfoForm::Execute(TAppViewAction Action) {
    TApplicationView::Execute(Action);
    switch (Action) {
    case vaCreate:
        FServiceClient = std::make_unique<TServiceClient>();
        FServiceClient->FOnUpdate = [this](TServiceClient&) { RebuildListView(); };
        break;
    case vaShow: {
        TDevice* device = Device();
        if (!device)
            break;
        if ((FParameterService = DeviceParameterInfo(*device))) {
            FServiceClient->Connect(FParameterService->InfoProvider());
            RebuildListView();
        } else {
            ListView->clear();
        }
        if (TPropertyInspector* inspector = PropertyInspector())
            inspector->EditObjectProperties(device, &device->PropList());
        PanelWidget()->hide();
        PanelWidget()->show();
        break;
    }
    case vaHide:
        if (FServiceClient && FServiceClient->GetConnected())
            FServiceClient->Disconnect();
        FParameterService = nullptr;
        if (TPropertyInspector* inspector = PropertyInspector())
            inspector->Clear();
        break;
    case vaDestroy: FServiceClient.reset(); break;
    default: break;
    }
}

void TDeviceInfoForm::RebuildListView() {
    if (!FParameterService)
        return;
    ListView->setUpdatesEnabled(false);
    const QSignalBlocker blocker(ListView);
    ListView->clear();
    for (const TDeviceInfoRow& r : DeviceInfoRows(*FParameterService)) {
        auto* item = new QTreeWidgetItem({ToQt(r.Caption), ToQt(r.Value)});
        item->setData(0, ParameterRole, QVariant::fromValue(static_cast<void*>(r.Parameter)));
        ListView->addTopLevelItem(item);
    }
    ListView->setUpdatesEnabled(true);
}

void TDeviceInfoForm::RowSelected() {
    TPropertyInspector* inspector = PropertyInspector();
    if (!inspector)
        return;
    TParameterInfo* p = ParameterOf(ListView->currentItem());
    if (p && p->ParPropList())
        inspector->EditObjectProperties(p->InspectedObject(), p->ParPropList());
    else
        inspector->Clear();
}

void TDeviceInfoForm::RowDoubleClicked() {
    TParameterInfo* p = ParameterOf(ListView->currentItem());
    TDevice* device = Device();
    if (p && device && Entry())
        Entry()->Owner().SetPathStr(DeviceParameterPath(*device, *p));
}

std::unique_ptr<TApplicationView> TDeviceInfoFormFactory::CreateApplicationView() {
    return std::make_unique<TDeviceInfoForm>(*this);
}

TProjectInfoForm::TProjectInfoForm(TApplicationViewFactory& AOwner) : TQtApplicationView(AOwner) {
    ListView = MakeList(PanelWidget(), {"Name", "State"});
}

std::unique_ptr<TApplicationView> TProjectInfoFormFactory::CreateApplicationView() {
    return std::make_unique<TProjectInfoForm>(*this);
}

} // namespace vo
