#include "GuardedApplication.h"

#include "dataset/DatasetError.h"
#include "ui/Prompter.h"

#include <QTimer>

#include <cstdio>

namespace bolaris {

bool GuardedApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const DatasetError &e) {
        std::fprintf(stderr, "bolaris: %s\n", qPrintable(e.message()));
        // Told after the handler has unwound, never from inside it.
        if (Prompter *prompter = m_prompter)
            QTimer::singleShot(0, this, [prompter, text = e.forOperator()] { prompter->error(text); });
        return false;
    }
}

} // namespace bolaris
