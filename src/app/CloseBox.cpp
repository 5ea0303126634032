#include "CloseBox.h"

#include <QApplication>
#include <QDialog>
#include <QProgressDialog>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>

namespace bolaris {

namespace {

quint32 atom(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 1, uint16_t(qstrlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const quint32 value = reply ? reply->atom : 0;
    std::free(reply);
    return value;
}

} // namespace

CloseBox::CloseBox(QWidget *mainWindow) : m_main(mainWindow)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (xcb_connection_t *connection = x11 ? x11->connection() : nullptr) {
        m_protocols = atom(connection, "WM_PROTOCOLS");
        m_delete = atom(connection, "WM_DELETE_WINDOW");
    }
}

bool CloseBox::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !m_delete || !m_main)
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto *client = static_cast<const xcb_client_message_event_t *>(message);
    if (client->format != 32 || client->type != m_protocols || client->data.data32[0] != m_delete ||
        client->window != m_main->winId() || !QApplication::activeModalWidget())
        return false; // without a modal box the toolkit closes the window itself
    if (!m_closing) {
        m_closing = true;
        QTimer::singleShot(0, m_main, [this] { closeWhenBoxesAreGone(250); });
    }
    return true;
}

void CloseBox::closeWhenBoxesAreGone(int triesLeft)
{
    // Each box answered returns to the code that asked; that code finishes
    // (or asks again) before the next look.
    if (QWidget *modal = QApplication::activeModalWidget(); modal && triesLeft > 0) {
        if (auto *progress = qobject_cast<QProgressDialog *>(modal))
            Q_EMIT progress->canceled(); // as its "Cancelar" does
        else if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(20, m_main, [this, triesLeft] { closeWhenBoxesAreGone(triesLeft - 1); });
        return;
    }
    m_closing = false;
    if (m_main)
        m_main->close();
}

} // namespace bolaris
