#include "ModePanel.h"

#include "UiBuild.h"

#include <QPushButton>

namespace bolaris {

ModePanel::ModePanel(QWidget *parent, const QString &name, const QRect &geometry) : QFrame(parent)
{
    setObjectName(name);
    setGeometry(geometry);
    ui::stylePanel(this, ui::clMoneyGreen);
    setFont(ui::sansFont(11));
    hide();
}

QPushButton *ModePanel::addExitButton(const QString &name, const QString &text, const QRect &geometry, int picture)
{
    m_exit = ui::button(this, name, text, geometry.x(), geometry.y(), geometry.width(), geometry.height());
    if (picture >= 0)
        ui::setPicture(m_exit, picture);
    return m_exit;
}

} // namespace bolaris
