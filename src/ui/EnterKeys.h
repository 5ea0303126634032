#pragma once

#include <QObject>

namespace bolaris {

// Enter and keypad Enter press the focused button of the program's own
// windows as Space does. Dialogs keep their own rule (Enter answers the
// default button). Installed once on the application.
class EnterKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace bolaris
