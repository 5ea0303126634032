#pragma once

#include "ui/ModePanel.h"

class QLineEdit;

namespace bolaris {

// The Export panel: cards to "CARTGRAF.CSV".
class ExportPanel : public ModePanel {
    Q_OBJECT
public:
    explicit ExportPanel(QWidget *parent);
    QLineEdit *seriesEdit() const { return m_serie; }

private:
    QLineEdit *m_serie;
};

} // namespace bolaris
