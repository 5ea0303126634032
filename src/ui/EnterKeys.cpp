#include "EnterKeys.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>

namespace bolaris {

bool EnterKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (!button || !button->isEnabled() || qobject_cast<QDialog *>(button->window()))
        return false;
    // Sent on as Space, so that whatever holds or filters a button's keys
    // treats both keys alike.
    QKeyEvent space(event->type(), Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), key->isAutoRepeat());
    space.setTimestamp(key->timestamp()); // a held key is told by its times
    QCoreApplication::sendEvent(button, &space);
    return true;
}

} // namespace bolaris
