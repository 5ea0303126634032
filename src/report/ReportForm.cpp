#include "ReportForm.h"

namespace bolaris {

ReportForm::ReportForm(ReportDefinition definition, QObject *parent)
    : QObject(parent), m_definition(std::move(definition))
{
    setObjectName(m_definition.name);
}

void ReportForm::setLabel(const QString &name, const QString &text) { m_definition.labels[name] = text; }

QString ReportForm::label(const QString &name) const
{
    const auto it = m_definition.labels.find(name);
    return it == m_definition.labels.end() ? QString() : it->second;
}

void ReportForm::setPaperLength(double millimetres)
{
    if (m_definition.page.custom)
        m_definition.page.length = millimetres;
}

void ReportForm::setPaperWidth(double millimetres)
{
    if (m_definition.page.custom)
        m_definition.page.width = millimetres;
}

void ReportForm::setColumns(int columns) { m_definition.page.columns = std::max(1, columns); }

void ReportForm::setFrameFill(const QColor &colour)
{
    for (ReportFrame &frame : m_definition.frames)
        frame.fill = colour;
}

} // namespace bolaris
