#include "ExportPanel.h"

#include "ui/UiBuild.h"

#include <QStyle>

#include <QLineEdit>

namespace bolaris {

ExportPanel::ExportPanel(QWidget *parent) : ModePanel(parent, QStringLiteral("PanelTexto"), {29, 121, 749, 360})
{
    setFont(ui::sansFont(13));
    m_serie = ui::edit(this, QStringLiteral("EditSerieG"), 215, 158, 21, 24, font());
    ui::upperCase(m_serie);
    addExitButton(QStringLiteral("ButtonSaiG"), QStringLiteral("Sai"), {260, 298, 85, 35}, QStyle::SP_DialogCloseButton);
}

} // namespace bolaris
