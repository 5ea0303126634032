#include "ValidationPanel.h"

namespace bolaris {

ValidationPanel::ValidationPanel(QWidget *parent)
    : ModePanel(parent, QStringLiteral("PanelValidacao"), {41, 50, 737, 425})
{
    addExitButton(QStringLiteral("ButtonSaiVal"), QStringLiteral("Sai"), {219, 353, 86, 35});
}

} // namespace bolaris
