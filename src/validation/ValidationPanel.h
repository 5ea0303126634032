#pragma once

#include "ui/ModePanel.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace bolaris {

class DatasetModel;
class Prompter;
class ValidationRegistry;

// The Validation panel: card and returned-ticket entry, the two grids and the reset.
class ValidationPanel : public ModePanel {
    Q_OBJECT
public:
    ValidationPanel(QWidget *parent, ValidationRegistry &registry, Prompter &prompter);

    // Steps of the menu entry after the menu was emptied: show, focus, count.
    void open();
    // Key press handlers of the card box and the ticket box; key is the typed character.
    void SaiEnter(QChar key);
    void SaiEnterC(QChar key);
    void ButtonInivalClick();
    // Shows the registry's current rows and count after it was (re)opened.
    void refreshGrids();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showCount();
    void followCursor();

    ValidationRegistry &m_registry;
    Prompter &m_prompter;
    QLabel *m_count;
    QLabel *m_last;
    QLineEdit *m_serie;
    QLineEdit *m_card;
    QLineEdit *m_ticket;
    QPlainTextEdit *m_memo2;
    QPlainTextEdit *m_memo3;
    QPushButton *m_reset;
    QTableView *m_grid1;
    QTableView *m_grid2;
    DatasetModel *m_model1;
    DatasetModel *m_model2;
};

} // namespace bolaris
