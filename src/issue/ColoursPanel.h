#pragma once

#include "ui/ModePanel.h"
#include "issue/SheetIssue.h"

#include <QColor>
#include <QPointer>

class QColorDialog;
class QLabel;
class QPushButton;

namespace bolaris {

// Asks the operator for a colour; the program's one colour dialog.
class ColourChooser {
public:
    virtual ~ColourChooser() = default;
    // The colour confirmed in the dialog, which opens on current, or nothing
    // when it was cancelled.
    virtual std::optional<QColor> choose(QWidget *parent, const QColor &current) = 0;
};

// The toolkit's standard colour dialog, one for the run (made at its first
// use, owned by that use's parent).
class DialogColourChooser : public ColourChooser {
public:
    std::optional<QColor> choose(QWidget *parent, const QColor &current) override;

private:
    QPointer<QColorDialog> m_dialog;
};

// The Colours panel: number and ticket colours of the printed cards, chosen
// on the sample "88" and applied to every print model by "OK".
class ColoursPanel : public ModePanel {
    Q_OBJECT
public:
    ColoursPanel(QWidget *parent, const ReportForms &forms, ColourChooser &chooser);

    void setChooser(ColourChooser &chooser) { m_chooser = &chooser; }
    QColor sampleBackground() const;
    QColor sampleText() const;

    void ButtonCorLetraClick();
    void ButtonCorCartaoClick();
    // The colours part of "OK" (the shell restores the menu and hides the panel).
    void applySample();

private:
    const ReportForms &m_forms;
    ColourChooser *m_chooser;
    QLabel *m_sample;
    // The dialog opens on the last colour confirmed in it by either button.
    QColor m_dialogColour{Qt::black};
};

} // namespace bolaris
