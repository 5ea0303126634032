#pragma once

#include <QFrame>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace bolaris {

class CartelaTable;
class DrawState;
class Prompter;

// The card check panel "PanelConf" inside the Draw panel: any card, by series
// and number, as its six tickets with the drawn numbers marked. It only reads
// the card store and the draw state.
class CardCheckPanel : public QFrame {
    Q_OBJECT
public:
    CardCheckPanel(QWidget *parent, const CartelaTable &cards, const DrawState &draw, Prompter &prompter);

    // Handlers.
    void ButtonConfCartClick();
    void EditConfKeyPress(QChar key);
    void ButtonVCSaiClick() { hide(); }
    void PanelConfClick() { hide(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    const CartelaTable &m_cards;
    const DrawState &m_draw;
    Prompter &m_prompter;
    QLineEdit *m_serie;
    QLineEdit *m_card;
    std::array<QLabel *, 6> m_tickets{};
    std::array<QFrame *, 18> m_rows{};
    std::array<std::array<QLabel *, 9>, 18> m_cells{};
    bool m_pressed = false;
};

} // namespace bolaris
