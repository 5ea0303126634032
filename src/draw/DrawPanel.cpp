#include "DrawPanel.h"

#include "ui/UiBuild.h"

namespace bolaris {

DrawPanel::DrawPanel(QWidget *parent) : ModePanel(parent, QStringLiteral("PanelSorteio"), {8, 5, 798, 534})
{
    addExitButton(QStringLiteral("ButtonSair"), QStringLiteral("Sair"), {682, 128, 96, 25});
    m_conf = ui::panel(this, QStringLiteral("PanelConf"), 0, 0, 794, 536, ui::clCream);
    m_conf->hide();
}

} // namespace bolaris
