#pragma once

#include "ui/ModePanel.h"
#include "export/CardExport.h"

class QLineEdit;
class QPushButton;

namespace bolaris {

class CardStore;
class Prompter;

// The Export panel: a range of cards to "CARTGRAF.CSV" for mail merge.
class ExportPanel : public ModePanel {
    Q_OBJECT
public:
    ExportPanel(QWidget *parent, const QString &workDir, CardStore &store, Prompter &prompter);
    QLineEdit *seriesEdit() const { return m_serie; }

    // "Gera": exports the typed range; the panel hides when the file is written.
    void ButtonGeraClick();

private:
    CardExport m_export;
    CardStore &m_store;
    Prompter &m_prompter;
    QLineEdit *m_serie;
    QLineEdit *m_first;
    QLineEdit *m_last;
    QLineEdit *m_perSheet;
    QLineEdit *m_fill;
    QPushButton *m_gera;
};

} // namespace bolaris
