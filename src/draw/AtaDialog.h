#pragma once

#include <QDialog>
#include <QPointer>

class QDateEdit;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace bolaris {

class CartelaTable;
class PreviewWindow;
class Prompter;
class ValidationRegistry;

// "Ata do sorteio": chooses a draw of the draw log (the last one at first) or
// a day (today at first) and opens the minutes of that draw, or of every draw
// started that day, in the report preview, where they are printed or saved as
// PDF ("Salvar") as the card sheets are.
//
// Use, from a window of the Draw panel (when no draw runs):
//     AtaDialog dialog(this, workDir, cards, registry, prompter);
//     dialog.exec();
// It only reads: the draw log of workDir, the card store, and the registry,
// which matters only for a draw logged before its competing set was kept
// with it. Each "Visualizar" opens a preview window of its own, owned by the
// dialog (usable while the dialog is open, closed with it); messages go
// through prompter.
class AtaDialog : public QDialog {
    Q_OBJECT
public:
    AtaDialog(QWidget *parent, const QString &workDir, const CartelaTable &cards, ValidationRegistry &registry,
              Prompter &prompter);

    // "Visualizar": makes the ata as chosen and opens its preview; false
    // after telling the operator why there is none.
    bool ButtonVisualizarClick();
    // The preview opened last, while it is open.
    PreviewWindow *preview() const;

private:
    QString m_workDir;
    const CartelaTable &m_cards;
    ValidationRegistry &m_registry;
    Prompter &m_prompter;
    QRadioButton *m_byDraw;
    QRadioButton *m_byDay;
    QSpinBox *m_draw;
    QDateEdit *m_day;
    QLabel *m_last;
    QPointer<PreviewWindow> m_preview;
};

} // namespace bolaris
