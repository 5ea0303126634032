#include "Messages.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace bolaris {

namespace {

// A message box is as narrow as its text, and the window manager cuts the
// caption short to fit: the box is made as wide as the caption in a bold
// face plus the title bar's icon and buttons.
void fitCaption(QMessageBox &box)
{
    QFont bold = box.font();
    bold.setBold(true);
    const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + 160;
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

} // namespace

void MessageBoxPrompter::inform(const QString &caption, const QString &text, MessageIcon icon)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(icon == MessageIcon::Information ? QMessageBox::Information
                : icon == MessageIcon::Error     ? QMessageBox::Critical
                                                 : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    fitCaption(box);
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
    fitCaption(box);
    return box.exec() == QMessageBox::Yes;
}

} // namespace bolaris
