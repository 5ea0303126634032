#include "ColoursPanel.h"

#include "CardColours.h"
#include "ui/UiBuild.h"

#include <QColorDialog>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace bolaris {

std::optional<QColor> DialogColourChooser::choose(QWidget *parent, const QColor &current)
{
    if (!m_dialog) {
        m_dialog = new QColorDialog(parent);
        m_dialog->setObjectName(QStringLiteral("ColorDialog"));
    }
    m_dialog->setCurrentColor(current);
    if (m_dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    return m_dialog->currentColor();
}

ColoursPanel::ColoursPanel(QWidget *parent, const ReportForms &forms, ColourChooser &chooser)
    : ModePanel(parent, QStringLiteral("PanelCores"), {447, 62, 202, 177}), m_forms(forms), m_chooser(&chooser)
{
    using namespace ui;
    auto *letter = button(this, QStringLiteral("ButtonCorLetra"), QStringLiteral("Cor da letra"), 24, 24, 75, 25);
    auto *ticket = button(this, QStringLiteral("ButtonCorCartao"), QStringLiteral("Cor do cartão"), 24, 72, 75, 25);
    m_sample = new QLabel(QStringLiteral("88"), this);
    m_sample->setObjectName(QStringLiteral("LabelCor"));
    m_sample->setGeometry(120, 40, 41, 33);
    m_sample->setAlignment(Qt::AlignCenter);
    m_sample->setFont(sansFont(24, Bold)); // 18 points
    setBackground(m_sample, clBtnFace());
    setTextColour(m_sample, clWindowText());
    addExitButton(QStringLiteral("ButtonOKCores"), QStringLiteral("OK"), {66, 124, 75, 37}, QStyle::SP_DialogOkButton);
    connect(letter, &QPushButton::clicked, this, &ColoursPanel::ButtonCorLetraClick);
    connect(ticket, &QPushButton::clicked, this, &ColoursPanel::ButtonCorCartaoClick);
}

QColor ColoursPanel::sampleBackground() const { return m_sample->palette().color(QPalette::Window); }
QColor ColoursPanel::sampleText() const { return m_sample->palette().color(QPalette::WindowText); }

// One dialog for both buttons, opening on the colour last confirmed in it
// (black before the first); a cancelled dialog leaves the sample as it was.
void ColoursPanel::ButtonCorLetraClick()
{
    if (const std::optional<QColor> colour = m_chooser->choose(this, m_dialogColour)) {
        m_dialogColour = *colour;
        ui::setTextColour(m_sample, *colour);
    }
}

void ColoursPanel::ButtonCorCartaoClick()
{
    if (const std::optional<QColor> colour = m_chooser->choose(this, m_dialogColour)) {
        m_dialogColour = *colour;
        ui::setBackground(m_sample, *colour);
    }
}

void ColoursPanel::applySample() { applyCardColours(m_forms, sampleBackground(), sampleText()); }

} // namespace bolaris
