#pragma once

#include <QObject>

#include <map>

namespace bolaris {

// Keeps a held key from pressing the buttons it watches again and again: a
// held Space or Enter presses once. The window system's key repeat comes
// either marked as repeat or, on some X servers, as plain release and press
// pairs sent at the same instant; both are recognised, the second by the
// keys' times (no hand lets a key go and presses it again within a few
// milliseconds).
class HeldKeys : public QObject {
public:
    using QObject::QObject;
    // Watches every button and check box under root.
    void watchButtonsOf(QObject *root);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct KeyState {
        bool released = false;  // a release was seen, at lastRelease
        bool repeating = false; // the key is held: its presses and releases are swallowed
        quint32 lastRelease = 0;
    };
    std::map<int, KeyState> m_keys;
};

} // namespace bolaris
