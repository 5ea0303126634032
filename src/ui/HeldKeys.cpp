#include "HeldKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace bolaris {

namespace {
// Longer than the X server takes between the release and the press of one
// repeat (the same instant), far shorter than a hand takes.
constexpr quint32 kRepeatGapMs = 20;
} // namespace

void HeldKeys::watchButtonsOf(QObject *root)
{
    for (QAbstractButton *button : root->findChildren<QAbstractButton *>())
        button->installEventFilter(this);
}

bool HeldKeys::eventFilter(QObject *, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Space && key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    KeyState &state = m_keys[key->key()];
    const auto time = quint32(key->timestamp());
    if (key->isAutoRepeat())
        return true; // marked repeat: the widget saw one press, and sees the last release
    if (event->type() == QEvent::KeyPress) {
        // A press at the instant of the release before it: the release was
        // the first of a repeat, and already pressed the button; until the
        // key really goes up, nothing of it reaches the button again.
        // Events made by the program itself carry no time (0) and never count.
        state.repeating = state.released && time != 0 && state.lastRelease != 0 &&
                          quint32(time - state.lastRelease) < kRepeatGapMs;
        return state.repeating;
    }
    state.released = true;
    state.lastRelease = time;
    return state.repeating;
}

} // namespace bolaris
