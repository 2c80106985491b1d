#include "kernel/gui/TIP4Edit.h"

#include "kernel/gui/QtText.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace vo {

namespace {
// The virtual key code the rules know for a Qt key; 0 for keys without one.
int VirtualKey(const QKeyEvent& E) {
    const int k = E.key();
    const bool keypad = E.modifiers() & Qt::KeypadModifier;
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        return (keypad ? TIP4EditLogic::VK_NUMPAD0 : TIP4EditLogic::VK_0) + (k - Qt::Key_0);
    switch (k) {
    case Qt::Key_Backspace: return TIP4EditLogic::VK_BACK;
    case Qt::Key_Delete: return TIP4EditLogic::VK_DELETE;
    case Qt::Key_Left: return TIP4EditLogic::VK_LEFT;
    case Qt::Key_Right: return TIP4EditLogic::VK_RIGHT;
    case Qt::Key_Space: return TIP4EditLogic::VK_SPACE;
    case Qt::Key_Period: return keypad ? TIP4EditLogic::VK_DECIMAL : TIP4EditLogic::VK_OEM_PERIOD;
    case Qt::Key_Shift: return TIP4EditLogic::VK_SHIFT;
    case Qt::Key_Control: return TIP4EditLogic::VK_CONTROL;
    default: return 0;
    }
}

unsigned ShiftState(const QKeyEvent& E) {
    unsigned s = 0;
    const auto m = E.modifiers();
    if (m & Qt::ShiftModifier)
        s |= TIP4EditLogic::ssShift;
    if (m & Qt::AltModifier)
        s |= TIP4EditLogic::ssAlt;
    if (m & Qt::ControlModifier)
        s |= TIP4EditLogic::ssCtrl;
    return s;
}

} // namespace

TIP4Edit::TIP4Edit(QWidget* Owner) : QObject(Owner) {
    FPanel = new QFrame(Owner);
    FPanel->setAutoFillBackground(true);
    FPanel->setBackgroundRole(QPalette::Base);
    FPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FPanel->resize(15, 21);
    for (int k = 0; k < 4; ++k) {
        auto* e = new QLineEdit(FPanel);
        e->setGeometry(30 * k + 1, 2, 25, 17);
        e->setAlignment(Qt::AlignCenter);
        e->setMaxLength(TIP4EditLogic::MaxLength);
        e->setFrame(false);
        e->setText("0");
        e->setProperty("tag", k);
        e->installEventFilter(this);
        connect(e, &QLineEdit::textEdited, this, [this, k] { Edited(k); });
        FEditor[static_cast<size_t>(k)] = e;
    }
    for (int k = 0; k < 3; ++k) {
        auto* l = new QLabel(".", FPanel);
        l->setGeometry(30 * k + 1 + 25, 2, 5, 17);
        FSeparator[static_cast<size_t>(k)] = l;
    }
}

TIP4Edit::~TIP4Edit() = default;

void TIP4Edit::SetPosition(int ATop, int ALeft) {
    FPanel->move(ALeft, ATop);
}

void TIP4Edit::SetSize(int AHeight, int AWidth) {
    FPanel->resize(AWidth, AHeight);
}

void TIP4Edit::SetVisibility(bool AVisible) {
    FLogic.SetVisibility(AVisible);
    FPanel->setVisible(AVisible);
    FPanel->setEnabled(AVisible);
}

void TIP4Edit::SetIPValue(std::int32_t IPValue) {
    FLogic.SetIPValue(IPValue);
    FromLogic();
}

std::int32_t TIP4Edit::GetIPValue() {
    for (int k = 0; k < 4; ++k)
        FLogic.Editor[static_cast<size_t>(k)].Text = FromQt(FEditor[static_cast<size_t>(k)]->text());
    return FLogic.GetIPValue();
}

int TIP4Edit::IndexOf(QObject* Field) const {
    for (int k = 0; k < 4; ++k)
        if (FEditor[static_cast<size_t>(k)] == Field)
            return k;
    return -1;
}

void TIP4Edit::ToLogic(int Index) {
    QLineEdit* e = FEditor[static_cast<size_t>(Index)];
    TIP4EditLogic::TField& f = FLogic.Editor[static_cast<size_t>(Index)];
    f.Text = FromQt(e->text());
    if (e->hasSelectedText()) {
        f.SelStart = e->selectionStart();
        f.SelLength = static_cast<int>(e->selectedText().size());
    } else {
        f.SelStart = e->cursorPosition();
        f.SelLength = 0;
    }
    FLogic.Focused = Index;
}

void TIP4Edit::FromLogic() {
    FSyncing = true;
    for (int k = 0; k < 4; ++k) {
        QLineEdit* e = FEditor[static_cast<size_t>(k)];
        const TIP4EditLogic::TField& f = FLogic.Editor[static_cast<size_t>(k)];
        const QString text = ToQt(f.Text);
        if (e->text() != text)
            e->setText(text);
        if (f.SelLength > 0)
            e->setSelection(f.SelStart, f.SelLength);
        else
            e->setCursorPosition(f.SelStart);
    }
    FSyncing = false;
}

bool TIP4Edit::eventFilter(QObject* Watched, QEvent* Event) {
    const int index = IndexOf(Watched);
    if (index < 0 || Event->type() != QEvent::KeyPress)
        return QObject::eventFilter(Watched, Event);
    auto& key = static_cast<QKeyEvent&>(*Event);
    const int vk = VirtualKey(key);
    if (vk == 0 && key.text().isEmpty())
        return false; // Tab, Enter, Home, ...: the field's own handling
    ToLogic(index);
    const int focused = FLogic.KeyDown(index, vk, ShiftState(key));
    const bool readOnly = FLogic.Editor[static_cast<size_t>(index)].ReadOnly;
    if (focused != index) {
        FromLogic();
        FEditor[static_cast<size_t>(focused)]->setFocus();
        FromLogic(); // the focus change may have moved the selection
        return true; // the key that moved on is used up
    }
    return readOnly; // a key whose character must not be typed
}

void TIP4Edit::Edited(int Index) {
    if (FSyncing)
        return;
    QLineEdit* e = FEditor[static_cast<size_t>(Index)];
    FLogic.Focused = Index;
    FLogic.Change(Index, FromQt(e->text()), e->cursorPosition());
    FromLogic();
    if (FLogic.Focused != Index) {
        FEditor[static_cast<size_t>(FLogic.Focused)]->setFocus();
        FromLogic();
    }
}

} // namespace vo
