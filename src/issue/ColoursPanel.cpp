#include "ColoursPanel.h"

namespace bolaris {

ColoursPanel::ColoursPanel(QWidget *parent) : ModePanel(parent, QStringLiteral("PanelCores"), {447, 62, 202, 177})
{
    addExitButton(QStringLiteral("ButtonOKCores"), QStringLiteral("OK"), {66, 124, 75, 37});
}

} // namespace bolaris
