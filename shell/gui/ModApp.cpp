#include "shell/gui/ModApp.h"

#include "devices/DevMan.h"
#include "devices/ModulSrv.h"
#include "devices/StatSrv.h"
#include "kernel/CsServices.h"
#include "kernel/LanguageMan.h"
#include "kernel/ModTree.h"
#include "kernel/ModView.h"
#include "kernel/TreeView.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/QtText.h"
#include "kernel/gui/QtViews.h"
#include "kernel/gui/TreeViewModel.h"
#include "parameters/ParSrv.h"
#include "parameters/Parameter.h"
#include "shell/DriveSelector.h"
#include "shell/ShellSettings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace vo {

using A = TTreeAction;

// ------------------------------------------------------------------ menu anchor

TQtMenuAnchor::~TQtMenuAnchor() {
    for (QAction* a : FActions)
        delete a;
}

void TQtMenuAnchor::MenuListChanged(const TMenuList& List, bool Shown) {
    for (QAction* a : FActions)
        delete a;
    FActions.clear();
    if (!Shown)
        return;
    // Behind the anchor: before the action that follows it.
    const QList<QAction*> all = FMenu.actions();
    const qsizetype at = all.indexOf(&FAnchor);
    QAction* before = (at >= 0 && at + 1 < all.size()) ? all[at + 1] : nullptr;
    for (int i = 0; i < List.Count(); ++i) {
        auto* a = new QAction(ToQt(List.DisplayCaption(i)), &FMenu);
        if (!List.Item(i).Shortcut.empty())
            a->setShortcut(QKeySequence(ToQt(List.Item(i).Shortcut)));
        QObject::connect(a, &QAction::triggered, &FMenu, [&List, i] { List.MenuClick(i); });
        FMenu.insertAction(before, a);
        FActions.push_back(a);
    }
}

// ------------------------------------------------------------------ window

TTreeAppForm::TTreeAppForm(TMenuList& Windows, TMenuList& Views, TMenuList& Languages, TShellSettings& Settings,
                           QWidget* Parent)
    : QMainWindow(Parent), FWindows(Windows), FViews(Views), FLanguages(Languages), FSettings(Settings) {
    setObjectName("TreeAppForm");
    resize(1000, 700);
    setWindowState(windowState() | Qt::WindowMaximized);

    // Tree on the left, the views on the right, the status bar below them.
    FTree = std::make_unique<TTreeView>();
    auto* main = new QSplitter(Qt::Horizontal, this);
    main->setObjectName("MainPanel");
    LeftPanel = new QWidget(main);
    LeftPanel->setObjectName("LeftPanel");
    auto* leftLayout = new QVBoxLayout(LeftPanel);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    MainTreeView = new TTreeViewWidget(*FTree, LeftPanel);
    MainTreeView->setObjectName("MainTreeView");
    MainTreeView->setRootIsDecorated(false);
    MainTreeView->installEventFilter(this);
    MainTreeView->setAcceptDrops(true);
    FTreeViewport = MainTreeView->viewport();
    FTreeViewport->installEventFilter(this);
    connect(MainTreeView, &QTreeView::doubleClicked, this, [this] {
        if (FTree->Selected() && FTree->Selected() == FTree->GetFirstNode())
            Execute(A::Login);
    });
    leftLayout->addWidget(MainTreeView);
    auto* right = new QWidget(main);
    right->setObjectName("RightPanel");
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    Panel = new QWidget(right);
    Panel->setObjectName("Panel");
    Panel->setAutoFillBackground(true);
    QPalette white = Panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel->setPalette(white);
    BottomPanel = new QWidget(right);
    BottomPanel->setObjectName("BottomPanel");
    BottomPanel->setFixedHeight(18);
    auto* bottomLayout = new QVBoxLayout(BottomPanel);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    StatusBar1 = new QStatusBar(BottomPanel);
    StatusBar1->setSizeGripEnabled(false);
    bottomLayout->addWidget(StatusBar1);
    rightLayout->addWidget(Panel, 1);
    rightLayout->addWidget(BottomPanel);
    main->addWidget(LeftPanel);
    main->addWidget(right);
    main->setStretchFactor(1, 1);
    main->setSizes({212, 788});
    setCentralWidget(main);
    FPanelControl = std::make_unique<TQtViewControl>(Panel);
    FBottomControl = std::make_unique<TQtViewControl>(BottomPanel);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    FTopControl = std::make_unique<TQtViewControl>(ToolBar1);

    // The device manager's changes refresh the selector.
    if (TDeviceManager* devices = DeviceManager()) {
        FDevManClient = std::make_unique<TServiceClient>();
        FDevManClient->FOnUpdate = [this](TServiceClient&) { DevManUpdate(); };
        FDevManClient->Connect(devices->Provider());
    }
    // The update pass while idle (and before each menu opens).
    FIdle = new QTimer(this);
    FIdle->setInterval(150);
    connect(FIdle, &QTimer::timeout, this, &TTreeAppForm::UpdateActions);
    FIdle->start();
}

TTreeAppForm::~TTreeAppForm() {
    Activate(false);
    HideCurrentEntry();
    if (FDevManClient && FDevManClient->GetConnected())
        FDevManClient->Disconnect();
    FEntryManager.reset();
    // The tree widget follows FTree: it goes first.
    MainTreeView->removeEventFilter(this);
    FTreeViewport->removeEventFilter(this);
    FTreeViewport = nullptr;
    delete MainTreeView;
    MainTreeView = nullptr;
}

void TTreeAppForm::CreateActions() {
    for (const TTreeActionDef& d : TreeActions()) {
        auto* a = new QAction(d.Caption, this);
        a->setObjectName(d.Name);
        if (*d.Shortcut)
            a->setShortcut(QKeySequence(d.Shortcut));
        a->setProperty("tag", d.Tag);
        const A id = d.Action;
        connect(a, &QAction::triggered, this, [this, id] { Execute(id); });
        FActions[static_cast<std::size_t>(id)] = a;
        TWindowAction& v = FViewActions[static_cast<std::size_t>(id)];
        v.Action = id;
        v.Tag = d.Tag;
        addAction(a); // shortcuts work without a menu
    }
    for (A id : {A::UPIDDispModeDec, A::UPIDDispModeHex, A::RawDataDispModeDec, A::RawDataDispModeHex,
                 A::ExitWarningShow, A::ExitWarningHide, A::CheckByStart})
        Action(id)->setCheckable(true);
    // Edit actions work on the focused field only.
    for (A id : {A::EditCut, A::EditCopy, A::EditPaste, A::EditDelete})
        Action(id)->setShortcutContext(Qt::WidgetWithChildrenShortcut);
}

void TTreeAppForm::CreateMenus() {
    auto add = [this](QMenu* M, A id) { M->addAction(Action(id)); };
    FileMenu = menuBar()->addMenu("&File");
    FileMenu->setObjectName("FileMenuItem");
    for (A id : {A::Login, A::CreateOffline, A::Scanning, A::ETHScanning, A::Logout})
        add(FileMenu, id);
    FileMenu->addSeparator();
    for (A id : {A::SaveWorkSpace, A::OpenWorkSpace})
        add(FileMenu, id);
    FileMenu->addSeparator();
    for (A id : {A::Import, A::Export, A::Print})
        add(FileMenu, id);
    FileMenu->addSeparator();
    for (A id : {A::InstallFirmware, A::InstallAndRestore})
        add(FileMenu, id);
    NewMenu = FileMenu->addMenu("New");
    NewMenu->setObjectName("NewMenuItem");
    add(NewMenu, A::NewCommander);
    FileMenu->addSeparator();
    add(FileMenu, A::Exit);

    SearchMenu = menuBar()->addMenu("Search");
    SearchMenu->setObjectName("SearchMenuItem");
    add(SearchMenu, A::FindUPID);
    add(SearchMenu, A::FindCaption);

    DriveMenu = menuBar()->addMenu("&Drive");
    DriveMenu->setObjectName("DriveMenuItem");
    for (A id : {A::Reboot, A::Stop, A::Blink})
        add(DriveMenu, id);
    QMenu* download = DriveMenu->addMenu("Download");
    add(download, A::DownloadSoftware);
    add(download, A::DownloadConfiguration);
    for (A id : {A::ExportRawData, A::CreateUPIDList, A::SaveImage, A::LoadImage})
        add(DriveMenu, id);
    DriveMenu->addSeparator();
    add(DriveMenu, A::MotorWizard);

    ServicesMenu = menuBar()->addMenu("&Services");
    ServicesMenu->setObjectName("ServicesMenuItem");
    for (A id : {A::ShowControlPanel, A::ShowParameters, A::ShowVariables, A::ShowOscilloscope, A::ShowMessages,
                 A::ShowErrors, A::ShowCurves, A::ShowCommandTable})
        add(ServicesMenu, id);

    OptionsMenu = menuBar()->addMenu("&Options");
    OptionsMenu->setObjectName("OptionsMenuItem");
    add(OptionsMenu, A::ShowCanManager);
    LanguageMenu = OptionsMenu->addMenu("Language");
    LanguageMenu->setObjectName("LanguageMenuItem");
    FLanguageAnchor = std::make_unique<TQtMenuAnchor>(*LanguageMenu, *LanguageMenu->addSection("_LanguageList"));
    UPIDDispModeMenu = OptionsMenu->addMenu("UPID Display Mode");
    UPIDDispModeMenu->setObjectName("UPIDDispModeMenuItem");
    add(UPIDDispModeMenu, A::UPIDDispModeDec);
    add(UPIDDispModeMenu, A::UPIDDispModeHex);
    RawDataDispModeMenu = OptionsMenu->addMenu("Raw Data Display Mode");
    RawDataDispModeMenu->setObjectName("RawDataDispModeMenuItem");
    add(RawDataDispModeMenu, A::RawDataDispModeDec);
    add(RawDataDispModeMenu, A::RawDataDispModeHex);
    ExitWarningMenu = OptionsMenu->addMenu("Exit Warning");
    add(ExitWarningMenu, A::ExitWarningShow);
    add(ExitWarningMenu, A::ExitWarningHide);
    connect(ExitWarningMenu, &QMenu::aboutToShow, this, [this] {
        Action(A::ExitWarningShow)->setChecked(FSettings.ExitProgramWarning != 0);
        Action(A::ExitWarningHide)->setChecked(FSettings.ExitProgramWarning == 0);
    });

    WindowMenu = menuBar()->addMenu("&Window");
    WindowMenu->setObjectName("WindowMenuItem");
    FWindowAnchor = std::make_unique<TQtMenuAnchor>(*WindowMenu, *WindowMenu->addSection("_FormList"));
    ToolsMenu = menuBar()->addMenu("&Tools");
    ToolsMenu->setObjectName("ToolsMenuItem");
    FViewAnchor = std::make_unique<TQtMenuAnchor>(*ToolsMenu, *ToolsMenu->addSection("_ViewList"));

    ManualsMenu = menuBar()->addMenu("&Manuals");
    ManualsMenu->setObjectName("DocItem");
    for (const char* item : {"Parameters and Variables", "Errors", "Motion Commands"})
        ManualsMenu->addAction(item)->setEnabled(false);
    RelevantDocs = ManualsMenu->addAction("Relevant Documents");
    AllDocuments = ManualsMenu->addAction("All Documents");
    RelevantDocs->setEnabled(false);
    AllDocuments->setEnabled(false);

    HelpMenu = menuBar()->addMenu("&Help");
    HelpMenu->setObjectName("HelpMenuItem");
    for (A id : {A::ObjectInspector, A::HomePage, A::CheckForUpdates, A::CheckByStart})
        add(HelpMenu, id);
    HelpMenu->addSeparator();
    add(HelpMenu, A::About);
    connect(HelpMenu, &QMenu::aboutToShow, this,
            [this] { Action(A::CheckByStart)->setChecked(FSettings.AutoCheckForUpdates == 1); });

    for (QMenu* m : findChildren<QMenu*>())
        connect(m, &QMenu::aboutToShow, this, &TTreeAppForm::UpdateActions);
}

void TTreeAppForm::CreateToolBar() {
    ToolBar1 = addToolBar("ToolBar1");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    auto add = [this](A id) { ToolBar1->addAction(Action(id)); };
    for (A id : {A::HideTree, A::Up, A::Toggle})
        add(id);
    ToolBar1->addSeparator();
    for (A id : {A::Import, A::Export, A::Print})
        add(id);
    ToolBar1->addSeparator();
    add(A::InstallFirmware);
    ToolBar1->addSeparator();
    DeviceCbo = new QComboBox(ToolBar1);
    DeviceCbo->setObjectName("DeviceCbo");
    DeviceCbo->setFixedWidth(197);
    ToolBar1->addWidget(DeviceCbo);
    connect(DeviceCbo, &QComboBox::activated, this, &TTreeAppForm::DeviceCboChange);
    add(A::OpenWorkSpace);
    add(A::SaveWorkSpace);
    ToolBar1->addSeparator();
    for (A id : {A::Reboot, A::Stop, A::Blink})
        add(id);
    ToolBar1->addSeparator();
    add(A::GoOffline);
    ToolBar1->addSeparator();
    add(A::MotorWizard);
    ToolBar1->addSeparator();
    for (A id : {A::ShowControlPanel, A::ShowParameters, A::ShowVariables, A::ShowOscilloscope, A::ShowMessages,
                 A::ShowErrors, A::ShowCurves, A::ShowCommandTable})
        add(id);
    ToolBar1->addSeparator();
    add(A::ObjectInspector);
    ToolBar1->addSeparator();
}

bool TTreeAppForm::eventFilter(QObject* Watched, QEvent* Event) {
    // Enter on the project root logs in, as a double click does.
    if (Watched == MainTreeView && Event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && FTree->Selected() &&
            FTree->Selected() == FTree->GetFirstNode()) {
            Execute(A::Login);
            return true;
        }
    }
    // Parameters or variables dropped on a section: the handler decides.
    if (Watched == FTreeViewport && MainTreeView &&
        (Event->type() == QEvent::DragEnter || Event->type() == QEvent::DragMove || Event->type() == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(Event);
        TTreeNode* node = MainTreeView->Model().NodeOf(MainTreeView->indexAt(drop->position().toPoint()));
        TEntryItem* entry = node ? node->Data() : nullptr;
        const bool isDrop = Event->type() == QEvent::Drop;
        const auto& hook = isDrop ? OnDropOnEntry : OnDragOverEntry;
        if (hook && entry && hook(*drop, entry)) {
            drop->acceptProposedAction();
            if (isDrop)
                MainTreeView->viewport()->update();
        } else {
            drop->ignore();
        }
        return true;
    }
    return QMainWindow::eventFilter(Watched, Event);
}

MyAnsiString TTreeAppForm::GetCaption() const {
    return FromQt(windowTitle());
}

void TTreeAppForm::SetCaption(const MyAnsiString& ACaption) {
    setWindowTitle(ToQt(ACaption));
}

// ------------------------------------------------------------------ model, entries, views

void TTreeAppForm::AddModel(TModelManager& AModelManager) {
    FEntryManager = std::make_unique<TEntryManager>(AModelManager, *FTree);
    FEntryManager->OnUpdate = [this] { EntryManagerUpdate(); };
    FEntryManager->OnGetStrVar = [this](const MyAnsiString& Name, MyAnsiString& Value) { Value = GetStrVar(Name); };
    FEntryManager->OnEntryFree = [this](TEntryItem& Entry) {
        if (&Entry == FCurrentEntry)
            HideCurrentEntry();
    };
    if (TTreeNode* first = FTree->GetFirstNode()) {
        first->Expand();
        FTree->Select(first);
    }
    EntryManagerUpdate();
}

MyAnsiString TTreeAppForm::PathStr() const {
    return FEntryManager ? FEntryManager->GetPathStr() : MyAnsiString();
}

void TTreeAppForm::SetPathStr(const MyAnsiString& Path) {
    if (!FEntryManager)
        return;
    try {
        FEntryManager->SetPathStr(Path);
    } catch (const std::exception& E) {
        ShowErrorMessage(E.what());
    }
}

void TTreeAppForm::EntryManagerUpdate() {
    TTreeNode* node = FTree->Selected();
    TEntryItem* entry = node ? node->Data() : nullptr;
    if (entry != FCurrentEntry)
        ShowEntry(entry);
}

MyAnsiString TTreeAppForm::GetStrVar(const MyAnsiString& AName) const {
    return FCurrentEntry ? FCurrentEntry->Model().GetStrVar(AName) : MyAnsiString();
}

TDevice* TTreeAppForm::GlobalDevice() const {
    TDeviceManager* devices = DeviceManager();
    if (FDeviceName.empty() || !devices || !devices->DeviceExists(FDeviceName))
        return nullptr;
    return &devices->GetDevice(FDeviceName);
}

void TTreeAppForm::ShowEntry(TEntryItem* Entry) {
    if (FCurrentEntry)
        HideCurrentEntry();
    FCurrentEntry = Entry;
    if (!Entry) {
        DeviceCbo->setCurrentIndex(-1);
        return;
    }
    ShowView(Entry->Selected());
    FDeviceName = GetStrVar("DeviceName");
    TDevice* d = GlobalDevice();
    if (!d) {
        FDeviceName.clear();
        DeviceCbo->setCurrentIndex(-1);
        return;
    }
    DeviceCbo->setCurrentIndex(DeviceCbo->findText(ToQt(d->Model().Caption()), Qt::MatchExactly));
    FStatusConnected = d->FindService<TStatusService>("StatusService") != nullptr;
}

void TTreeAppForm::HideCurrentEntry() {
    if (FCurrentView)
        HideCurrentView();
    FStatusConnected = false;
    FDeviceName.clear();
    FCurrentEntry = nullptr;
}

void TTreeAppForm::ShowView(int Index) {
    if (!FCurrentEntry)
        return;
    if (FCurrentView)
        HideCurrentView();
    FCurrentEntry->SetSelected(Index);
    TApplicationViewFactory* factory = FCurrentEntry->Model().View();
    if (!factory || Index < 0 || Index >= FCurrentEntry->GetContextCount()) {
        Panel->hide();
        return;
    }
    Panel->show();
    FViewDeferred = FDeferView;
    FDeferView = false;
    if (FViewDeferred)
        return;
    TApplicationView& view = factory->CreateView();
    view.Initialize(FCurrentEntry->TakeContext());
    FCurrentView = &view;
    StatusBar1->setVisible(view.StatusBar() == nullptr);
    view.ShowView(FCurrentEntry, FPanelControl.get(), FTopControl.get(), FBottomControl.get(),
                  [this](const MyAnsiString& Name, MyAnsiString& Value) { Value = GetStrVar(Name); });
}

void TTreeAppForm::ShowDeferredView() {
    if (!FViewDeferred)
        return;
    FViewDeferred = false;
    if (FCurrentEntry && !FCurrentView)
        ShowView(FCurrentEntry->Selected());
}

void TTreeAppForm::HideCurrentView() {
    TApplicationView* view = FCurrentView;
    FCurrentView = nullptr;
    if (!view)
        return;
    view->HideView();
    std::unique_ptr<TObject> context = view->Release();
    if (FCurrentEntry)
        FCurrentEntry->SetContext(std::move(context));
    StatusBar1->show();
}

// ------------------------------------------------------------------ drive selector

void TTreeAppForm::DevManUpdate() {
    TDeviceManager* devices = DeviceManager();
    if (!devices || !FEntryManager)
        return;
    const int oldIndex = DeviceCbo->currentIndex();
    const int oldCount = DeviceCbo->count();
    const std::vector<TSelectorEntry> entries = SelectorEntries(*devices);
    FSelecting = true;
    DeviceCbo->clear();
    for (const TSelectorEntry& e : entries)
        DeviceCbo->addItem(ToQt(e.Caption));
    const int index = SelectorIndexAfterUpdate(oldIndex, oldCount, static_cast<int>(entries.size()),
                                               devices->Provider().UpdateRequested() || oldCount != DeviceCbo->count());
    DeviceCbo->setCurrentIndex(index);
    FSelecting = false;
    SetPathStr(SelectorPath(entries, index));
}

void TTreeAppForm::DeviceCboChange(int Index) {
    if (FSelecting || Index < 0)
        return;
    SetPathStr(SwitchDrivePath(PathStr(), FromQt(DeviceCbo->itemText(Index))));
}

void TTreeAppForm::GoToPage(const char* Suffix) {
    if (TDevice* d = GlobalDevice())
        SetPathStr("Project:\\\\" + d->Model().Caption() + Suffix);
}

// ------------------------------------------------------------------ actions

TTreeAppState TTreeAppForm::State() const {
    TTreeAppState s;
    s.CanScan = CanScan && CanScan();
    s.FirstNodeSelected = !FTree->Selected() || FTree->Selected() == FTree->GetFirstNode();
    s.HasPreviousPath = FEntryManager && !FEntryManager->PreviousPath().empty();
    if (TDeviceManager* devices = DeviceManager())
        for (int i = 0; i < devices->GetDeviceCount(); ++i)
            if (devices->GetDeviceAtIndex(i).DeviceType() == dtOnline)
                s.OnlineDeviceExists = true;
    TDevice* d = GlobalDevice();
    if (!d)
        return s;
    s.HasDrive = true;
    s.Connected = FStatusConnected;
    if (auto* status = d->FindService<TStatusService>("StatusService"))
        s.Online = status->GetOnline();
    s.DeviceOnline = d->DeviceType() == dtOnline;
    s.ConnectionLost = d->DeviceType() == dtConnectionLost;
    s.DeviceStarted = d->State() == dstStarted;
    s.Level = d->GetUserPermission();
    auto* modules = d->FindService<TModuleService>("ModuleService");
    for (const char* name : {"ParameterService", "ErrorsService", "ControlPanelService", "VariableService", "CurveService",
                             "CommandTableService", "StatusService", "OsciService", "MessagesService"})
        if (d->FindService<TDeviceService>(name)) {
            s.Services.insert(name);
            if (modules && modules->IsServiceActive(name, true))
                s.ActiveServices.insert(name);
        }
    s.PortName = d->GetStrVar("PortName");
    if (auto* parameters = d->FindService<TParameterService>("ParameterService")) {
        try {
            if (TParameter* p = parameters->FindParameter(0x0561))
                s.Upid0561 = p->GetIntValue();
            if (TParameter* p = parameters->FindParameter(0x0CCA))
                s.Upid0CCA = p->GetIntValue() != 0;
        } catch (const std::exception&) {
            // a value not read yet counts as absent
        }
    }
    return s;
}

void TTreeAppForm::UpdateActions() {
    const TTreeAppState s = State();
    for (const TTreeActionDef& d : TreeActions()) {
        QAction* a = Action(d.Action);
        TWindowAction& v = FViewActions[static_cast<std::size_t>(d.Action)];
        bool handled = false;
        if (FCurrentView && d.Tag != 0) {
            v.Enabled = false;
            FCurrentView->ActionUpdate(&v, handled);
        }
        if (handled) {
            a->setEnabled(v.Enabled);
            continue;
        }
        const TActionRule r = ActionRule(d.Action, s);
        a->setVisible(r.Visible);
        a->setEnabled(d.Built && r.Enabled);
    }
    Action(A::UPIDDispModeDec)->setChecked(FSettings.UPIDDispMode == "DEC");
    Action(A::UPIDDispModeHex)->setChecked(FSettings.UPIDDispMode == "HEX");
    Action(A::RawDataDispModeDec)->setChecked(FSettings.RawDataDispMode == "DEC");
    Action(A::RawDataDispModeHex)->setChecked(FSettings.RawDataDispMode == "HEX");
}

void TTreeAppForm::Execute(A Id) {
    TWindowAction& v = FViewActions[static_cast<std::size_t>(Id)];
    if (FCurrentView && v.Tag != 0) {
        bool handled = false;
        FCurrentView->ActionExecute(&v, handled);
        if (handled)
            return;
    }
    const TTreeActionDef& d = TreeActionDef(Id);
    if (*d.PageSuffix) {
        GoToPage(d.PageSuffix);
        return;
    }
    switch (Id) {
    case A::Login:
        if (OnLogin)
            OnLogin();
        break;
    case A::NewCommander:
        if (OnNewCommander)
            OnNewCommander();
        break;
    case A::Exit: close(); break;
    case A::Up:
        if (FEntryManager)
            FEntryManager->GoBackSelect();
        break;
    case A::Toggle:
        if (FEntryManager && !FEntryManager->PreviousPath().empty())
            SetPathStr(FEntryManager->PreviousPath());
        break;
    case A::HideTree: {
        const bool hide = LeftPanel->isVisible();
        LeftPanel->setVisible(!hide);
        Action(A::HideTree)->setText(hide ? "Show Tree" : "Hide Tree");
        break;
    }
    case A::UPIDDispModeDec: FSettings.UPIDDispMode = "DEC"; break;
    case A::UPIDDispModeHex: FSettings.UPIDDispMode = "HEX"; break;
    case A::RawDataDispModeDec: FSettings.RawDataDispMode = "DEC"; break;
    case A::RawDataDispModeHex: FSettings.RawDataDispMode = "HEX"; break;
    case A::ExitWarningShow: FSettings.ExitProgramWarning = 1; break;
    case A::ExitWarningHide: FSettings.ExitProgramWarning = 0; break;
    case A::CheckByStart: FSettings.AutoCheckForUpdates = FSettings.AutoCheckForUpdates == 0 ? 1 : 0; break;
    case A::HomePage: QDesktopServices::openUrl(QUrl(ToQt(FSettings.CompanyInfoStr("HomePage")))); break;
    case A::ShowCanManager:
        for (int i = 0; i < FViews.Count(); ++i)
            if (FViews.Item(i).Caption.find("CAN") != MyAnsiString::npos)
                FViews.MenuClick(i);
        break;
    default: break; // built by the drive, file and search commands
    }
    UpdateActions();
}

// ------------------------------------------------------------------ language

void TTreeAppForm::UpdateMenuLanguage() {
    const MyAnsiString lang = FSettings.InfoSysLang;
    for (QAction* a : FLanguageAnchor->Actions()) {
        MyAnsiString caption = FromQt(a->text());
        std::erase(caption, '&');
        // "&1 English": the list's numbering goes before the caption.
        const std::size_t blank = caption.find(' ');
        if (blank != MyAnsiString::npos && blank > 0 && caption[0] >= '0' && caption[0] <= '9')
            caption = caption.substr(blank + 1);
        a->setCheckable(true);
        a->setChecked(caption == lang);
    }
    auto text = [&lang](const char* Key) { return LanguageManager().Get(Key, lang); };
    auto item = [&text](QMenu* M, const char* Key) {
        const MyAnsiString t = text(Key);
        if (!t.empty())
            M->setTitle(ToQt(t));
    };
    item(FileMenu, "MenuCap_File");
    item(SearchMenu, "MenuCap_Search");
    item(OptionsMenu, "MenuCap_Options");
    item(WindowMenu, "MenuCap_Window");
    item(ToolsMenu, "MenuCap_Tools");
    item(ManualsMenu, "MenuCap_Manuals");
    item(HelpMenu, "MenuCap_Help");
    item(NewMenu, "MenuCap_New");
    item(LanguageMenu, "MenuCap_Language");
    item(UPIDDispModeMenu, "MenuCap_UPID_Display_Mode");
    item(RawDataDispModeMenu, "MenuCap_Raw_Data_Display_Mode");
    for (auto [a, key] : {std::pair{RelevantDocs, "MenuCap_RelevantDocs"}, std::pair{AllDocuments, "MenuCap_AllDocs"}})
        if (const MyAnsiString t = text(key); !t.empty())
            a->setText(ToQt(t));
    // Actions whose caption is a language text take it even when empty.
    for (A id : {A::Login, A::InstallFirmware, A::Logout, A::Exit, A::CreateOffline})
        Action(id)->setText(ToQt(text(TreeActionDef(id).LanguageKey)));
    for (A id : {A::FindCaption, A::FindUPID, A::ShowCanManager, A::UPIDDispModeDec, A::UPIDDispModeHex,
                 A::RawDataDispModeDec, A::RawDataDispModeHex, A::ObjectInspector}) {
        const MyAnsiString t = text(TreeActionDef(id).LanguageKey);
        if (!t.empty())
            Action(id)->setText(ToQt(t));
    }
    Action(A::About)->setText(ToQt(text("MenuCap_About") + " " + FSettings.ProductInfoStr("ProgramName")));
}

// ------------------------------------------------------------------ activation and closing

void TTreeAppForm::Activate(bool Active) {
    if (Active == FActive)
        return;
    // The shared entries are in the menus of the active window only.
    TMenuList* lists[] = {&FWindows, &FViews, &FLanguages};
    TQtMenuAnchor* anchors[] = {FWindowAnchor.get(), FViewAnchor.get(), FLanguageAnchor.get()};
    for (int i = 0; i < 3; ++i) {
        TMenuAnchor* holder = lists[i]->ActiveMenu();
        if (Active) {
            // The window activated takes the entries over, also when the
            // other one has not heard of its deactivation yet.
            if (holder == anchors[i])
                continue;
            if (holder)
                lists[i]->MenuListRequest(holder, false);
            lists[i]->MenuListRequest(anchors[i], true);
        } else if (holder == anchors[i])
            lists[i]->MenuListRequest(anchors[i], false);
    }
    FActive = Active;
    if (Active)
        UpdateMenuLanguage();
}

void TTreeAppForm::changeEvent(QEvent* Event) {
    if (Event->type() == QEvent::ActivationChange)
        Activate(isActiveWindow());
    QMainWindow::changeEvent(Event);
}

void TTreeAppForm::setVisible(bool Visible) {
    if (Visible && !isVisible()) {
        UpdateMenuLanguage();
        UpdateActions();
    }
    QMainWindow::setVisible(Visible);
}

void TTreeAppForm::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (Event->spontaneous()) {
        UpdateMenuLanguage();
        UpdateActions();
    }
}

void TTreeAppForm::paintEvent(QPaintEvent* Event) {
    QMainWindow::paintEvent(Event);
    FDeferView = false;
    if (FViewDeferred)
        QTimer::singleShot(0, this, [this] { ShowDeferredView(); });
    if (!FPainted) {
        FPainted = true;
        QTimer::singleShot(0, this, [this] {
            if (const std::function<void()> call = std::move(OnFirstFrame)) {
                OnFirstFrame = nullptr;
                call();
            }
        });
    }
}

void TTreeAppForm::closeEvent(QCloseEvent* Event) {
    if (FClosing) {
        Event->accept();
        return;
    }
    TDeviceManager* devices = DeviceManager();
    const bool last = !CommanderCount || CommanderCount() <= 1;
    if (last && devices && devices->GetDeviceCount() > 0 && FSettings.ExitProgramWarning == 1 &&
        MessageDlg("Are you sure you want to close this window?", TMsgDlgType::mtConfirmation,
                   {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}) != mrYes) {
        Event->ignore();
        return;
    }
    Event->accept();
    FClosing = true;
    FIdle->stop();
    Activate(false);
    HideCurrentEntry();
    if (OnAppFormClose)
        OnAppFormClose(*this);
}

} // namespace vo
