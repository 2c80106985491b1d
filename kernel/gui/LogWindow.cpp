#include "kernel/gui/LogWindow.h"

#include "kernel/gui/QtText.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vo {

TLogWindow::TLogWindow(TLogWindowEvents& Events) : QWidget(nullptr, Qt::Window), FEvents(Events) {
    setWindowTitle("LogWindow");
    resize(480, 320);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    OutMemo = new QPlainTextEdit(this);
    OutMemo->setReadOnly(true);
    OutMemo->setObjectName("OutMemo");
    Panel = new QWidget(this);
    Panel->setObjectName("Panel");
    Panel->setFixedHeight(40);
    BtAbort = new QPushButton("&Abort", Panel);
    BtAbort->setObjectName("BtAbort");
    BtAbort->resize(90, 26);
    layout->addWidget(OutMemo);
    layout->addWidget(Panel);
    connect(BtAbort, &QPushButton::clicked, this, [this] { FEvents.AbortPressed(*FOwnerView); });
}

TLogWindow::~TLogWindow() = default;

MyAnsiString TLogWindow::GetCaption() const {
    return FromQt(windowTitle());
}

void TLogWindow::SetCaption(const MyAnsiString& ACaption) {
    setWindowTitle(ToQt(ACaption));
}

void TLogWindow::AppendLine(const MyAnsiString& Line) {
    OutMemo->appendPlainText(ToQt(Line));
}

void TLogWindow::ShowWindow() {
    show();
}

void TLogWindow::CloseWindow() {
    FClosing = true;
    close();
}

void TLogWindow::closeEvent(QCloseEvent* Event) {
    Event->accept();
    if (!FClosing) {
        // Closed by the user: the manager unlists and frees the window.
        FClosing = true;
        FEvents.ClosedByUser(*FOwnerView);
    }
}

void TLogWindow::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    CenterButton();
}

void TLogWindow::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    CenterButton();
}

void TLogWindow::CenterButton() {
    BtAbort->move(Panel->width() / 2 - BtAbort->width() / 2, (Panel->height() - BtAbort->height()) / 2);
}

namespace {

// The Qt window is owned by the manager's entry; it is deleted later, so that
// a window closed from its own event handler is not freed under it.
class TQtLogWindowHandle : public TLogWindowView {
public:
    explicit TQtLogWindowHandle(TLogWindowEvents& Events) : FWindow(new TLogWindow(Events)) {
        FWindow->SetOwnerView(this);
    }
    ~TQtLogWindowHandle() override { FWindow->deleteLater(); }
    MyAnsiString GetCaption() const override { return FWindow->GetCaption(); }
    void SetCaption(const MyAnsiString& ACaption) override { FWindow->SetCaption(ACaption); }
    void AppendLine(const MyAnsiString& Line) override { FWindow->AppendLine(Line); }
    void ShowWindow() override { FWindow->ShowWindow(); }
    void CloseWindow() override { FWindow->CloseWindow(); }
    TLogWindow* Window() const { return FWindow; }

private:
    TLogWindow* FWindow;
};

} // namespace

TLogWindow* QtLogWindow(TLogWindowView* View) {
    if (auto* h = dynamic_cast<TQtLogWindowHandle*>(View))
        return h->Window();
    return dynamic_cast<TLogWindow*>(View);
}

void InstallQtLogWindows(TLogWindowManager& Manager) {
    Manager.SetWindowFactory([](TLogWindowEvents& Events) -> std::unique_ptr<TLogWindowView> {
        return std::make_unique<TQtLogWindowHandle>(Events);
    });
}

} // namespace vo
