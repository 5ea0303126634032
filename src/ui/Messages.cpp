#include "Messages.h"

#include <QMessageBox>

namespace bolaris {

void MessageBoxPrompter::inform(const QString &caption, const QString &text, MessageIcon icon)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(icon == MessageIcon::Information ? QMessageBox::Information
                : icon == MessageIcon::Error     ? QMessageBox::Critical
                                                 : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

bool MessageBoxPrompter::ask(const QString &caption, const QString &text, bool defaultYes)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(QMessageBox::Question);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace bolaris
