#include "IssuePanel.h"

namespace bolaris {

IssuePanel::IssuePanel(QWidget *parent) : ModePanel(parent, QStringLiteral("PanelEmissao"), {89, 46, 601, 425})
{
    addExitButton(QStringLiteral("ButtonCancela"), QStringLiteral("Sai"), {380, 367, 86, 35});
}

} // namespace bolaris
