// The Qt programs the program's start is measured against: "bare" shows one
// empty main window; "layout" a window built like the project tree window
// (menu bar, tool bar, tree, status bar) with nothing behind it.
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>

#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle("Velkor-Ovra");
    if (argc > 1 && std::strcmp(argv[1], "layout") == 0) {
        w.setWindowState(Qt::WindowMaximized);
        for (const char* name : {"&File", "Search", "&Drive", "&Services", "&Options", "&Window", "&Tools", "&Manuals", "&Help"}) {
            QMenu* m = w.menuBar()->addMenu(name);
            for (int i = 0; i < 6; ++i)
                m->addAction(QString("%1 item %2").arg(name).arg(i))->setShortcut(QKeySequence(QString("Ctrl+Alt+%1").arg(i)));
        }
        QToolBar* bar = w.addToolBar("ToolBar1");
        for (int i = 0; i < 30; ++i)
            bar->addAction(QString("Button %1").arg(i));
        auto* split = new QSplitter(&w);
        auto* tree = new QTreeWidget(split);
        new QTreeWidgetItem(tree, QStringList{"Project"});
        new QWidget(split);
        w.setCentralWidget(split);
        w.statusBar()->showMessage("Ready");
    } else
        w.resize(800, 560);
    w.show();
    return QApplication::exec();
}
