#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QWidget>

namespace bolaris {

// The main window's close box ends the program also while a modal box is
// open, which the toolkit would otherwise ignore: the boxes are answered as
// their Esc or "Cancelar" answers them (a progress box stops its work), then
// the main window closes as usual. X11 only; elsewhere it does nothing.
class CloseBox : public QAbstractNativeEventFilter {
public:
    explicit CloseBox(QWidget *mainWindow);
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    void closeWhenBoxesAreGone(int triesLeft);

    QPointer<QWidget> m_main;
    quint32 m_protocols = 0;
    quint32 m_delete = 0;
    bool m_closing = false;
};

} // namespace bolaris
