#include "shell/gui/TreeCommander.h"

#include "kernel/gui/QtText.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

namespace vo {

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

TTreeCommander::TTreeCommander(TMenuList& Windows, TMenuList& Views, TMenuList& Languages, QWidget* Parent)
    : QMainWindow(Parent), FWindows(Windows), FViews(Views), FLanguages(Languages) {
    setObjectName("TreeCommander");
    resize(800, 560);
    FileMenu = menuBar()->addMenu("&File");
    LoginAct = FileMenu->addAction("&Login...");
    LoginAct->setShortcut(QKeySequence("Ctrl+L"));
    OfflineAct = FileMenu->addAction("&Open Configuration...");
    NewCommanderAct = FileMenu->addAction("&New Window");
    FileMenu->addSeparator();
    ExitAct = FileMenu->addAction("E&xit");
    connect(LoginAct, &QAction::triggered, this, [this] {
        if (OnLogin)
            OnLogin();
    });
    connect(OfflineAct, &QAction::triggered, this, [this] {
        if (OnOpenOffline)
            OnOpenOffline();
    });
    connect(NewCommanderAct, &QAction::triggered, this, [this] {
        if (OnNewCommander)
            OnNewCommander();
    });
    connect(ExitAct, &QAction::triggered, this, &QWidget::close);

    ViewMenu = menuBar()->addMenu("&View");
    FViewAnchor = std::make_unique<TQtMenuAnchor>(*ViewMenu, *ViewMenu->addSection("Views"));
    LanguageMenu = menuBar()->addMenu("&Language");
    FLanguageAnchor = std::make_unique<TQtMenuAnchor>(*LanguageMenu, *LanguageMenu->addSection("Languages"));
    WindowMenu = menuBar()->addMenu("&Window");
    FWindowAnchor = std::make_unique<TQtMenuAnchor>(*WindowMenu, *WindowMenu->addSection("Windows"));

    StatusText = new QLabel("Project", this);
    StatusText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    StatusText->setMargin(8);
    setCentralWidget(StatusText);
}

TTreeCommander::~TTreeCommander() {
    Activate(false);
}

MyAnsiString TTreeCommander::GetCaption() const {
    return FromQt(windowTitle());
}

void TTreeCommander::SetCaption(const MyAnsiString& ACaption) {
    setWindowTitle(ToQt(ACaption));
}

void TTreeCommander::Activate(bool Active) {
    if (Active == FActive)
        return;
    // The shared entries are in the menus of the active window only.
    TMenuList* lists[] = {&FWindows, &FViews, &FLanguages};
    TQtMenuAnchor* anchors[] = {FWindowAnchor.get(), FViewAnchor.get(), FLanguageAnchor.get()};
    for (int i = 0; i < 3; ++i) {
        if (Active && lists[i]->ActiveMenu())
            continue; // another window still holds it; it lets go when deactivated
        if (!Active && lists[i]->ActiveMenu() != anchors[i])
            continue;
        lists[i]->MenuListRequest(anchors[i], Active);
    }
    FActive = Active;
}

void TTreeCommander::changeEvent(QEvent* Event) {
    if (Event->type() == QEvent::ActivationChange)
        Activate(isActiveWindow());
    QMainWindow::changeEvent(Event);
}

void TTreeCommander::closeEvent(QCloseEvent* Event) {
    Event->accept();
    if (FClosing)
        return;
    FClosing = true;
    Activate(false);
    if (OnAppFormClose)
        OnAppFormClose(*this);
}

} // namespace vo
