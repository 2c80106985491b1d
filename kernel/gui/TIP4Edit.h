#pragma once
// TIP4Edit: the four-field IPv4 address input. It is no widget itself: it
// puts a panel with four octet fields and three "." labels on its owner and
// feeds their key-downs and edits to TIP4EditLogic (kernel/functions.h), whose
// rules it mirrors back into the fields (caret, selection, focus, clamping to
// 254 with an error box).
#include "kernel/functions.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <cstdint>

class QFrame;
class QLabel;
class QLineEdit;
class QWidget;

namespace vo {

class TIP4Edit : public QObject {
    Q_OBJECT
public:
    // The panel is owned by and placed on Owner.
    explicit TIP4Edit(QWidget* Owner);
    ~TIP4Edit() override;

    void SetPosition(int ATop, int ALeft);
    void SetSize(int AHeight, int AWidth);
    // Visibility and enabled state together.
    void SetVisibility(bool AVisible);
    void SetIPValue(std::int32_t IPValue);
    // Raises EConvertError for an empty field.
    std::int32_t GetIPValue();

    QFrame* Panel() const { return FPanel; }
    QLineEdit* Editor(int Index) const { return FEditor.at(static_cast<size_t>(Index)); }
    QLabel* Separator(int Index) const { return FSeparator.at(static_cast<size_t>(Index)); }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    int IndexOf(QObject* Field) const;
    void ToLogic(int Index); // the field's text, caret and selection into the rules
    void FromLogic(); // the rules' texts, selections and focus into the fields
    void Edited(int Index);

    QPointer<QFrame> FPanel;
    std::array<QLineEdit*, 4> FEditor{};
    std::array<QLabel*, 3> FSeparator{};
    TIP4EditLogic FLogic;
    bool FSyncing = false;
};

} // namespace vo
