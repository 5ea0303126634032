#pragma once

#include <QFrame>

class QPushButton;

namespace bolaris {

// A mode panel of the main window: a clMoneyGreen frame at its place, hidden
// at start, with the button that leaves it.
class ModePanel : public QFrame {
    Q_OBJECT
public:
    ModePanel(QWidget *parent, const QString &name, const QRect &geometry);
    QPushButton *exitButton() const { return m_exit; }

protected:
    // Creates the exit button; each panel calls it once while it builds itself.
    // picture: a standard icon (QStyle::StandardPixmap), or -1 for a plain button.
    QPushButton *addExitButton(const QString &name, const QString &text, const QRect &geometry, int picture = -1);

private:
    QPushButton *m_exit = nullptr;
};

} // namespace bolaris
