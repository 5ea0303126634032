#pragma once

#include "ReportDefinition.h"

#include <QObject>

namespace bolaris {

// A report form: one object per print layout for the whole run, holding the
// definition that the program changes at run time (captions, paper, colours).
class ReportForm : public QObject {
    Q_OBJECT
public:
    explicit ReportForm(ReportDefinition definition, QObject *parent = nullptr);

    const ReportDefinition &definition() const { return m_definition; }

    void setLabel(const QString &name, const QString &text);
    QString label(const QString &name) const;
    // Paper length and width take effect on a custom paper only.
    void setPaperLength(double millimetres);
    void setPaperWidth(double millimetres);
    void setColumns(int columns);
    void setCutLineRight(bool on) { m_definition.band.cutRight = on; }
    void setCutLineBottom(bool on) { m_definition.band.cutBottom = on; }
    // The two colours of the cards: ticket frame fill and the band's font colour.
    void setFrameFill(const QColor &colour);
    void setBandFontColour(const QColor &colour) { m_definition.band.font.colour = colour; }

private:
    ReportDefinition m_definition;
};

} // namespace bolaris
