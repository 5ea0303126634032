#pragma once

#include "game/CardClaim.h"

#include <QFrame>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace bolaris {

class CartelaTable;
class DrawState;
class Prompter;

// The card check panel "PanelConf" inside the Draw panel: any card, by series
// and number, as its six tickets with the drawn numbers marked. A claim is
// settled on it too: whether the card competes in the draw, its returned
// tickets and each ticket's prizes with their balls, from the draw that
// claimDraw gives (without one, none of this is shown). It only reads.
class CardCheckPanel : public QFrame {
    Q_OBJECT
public:
    using ClaimSource = std::function<ClaimDraw()>;
    CardCheckPanel(QWidget *parent, const CartelaTable &cards, const DrawState &draw, Prompter &prompter,
                   ClaimSource claimDraw = {});

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
    void showClaim(char series, int card);

    const CartelaTable &m_cards;
    const DrawState &m_draw;
    Prompter &m_prompter;
    QLineEdit *m_serie;
    QLineEdit *m_card;
    std::array<QLabel *, 6> m_tickets{};
    std::array<QFrame *, 18> m_rows{};
    std::array<std::array<QLabel *, 9>, 18> m_cells{};
    ClaimSource m_claimDraw;
    QLabel *m_status = nullptr;        // whether the card competes
    QLabel *m_claimContext = nullptr;  // which draw the claim is settled in
    std::array<QLabel *, 6> m_returned{}; // "DEVOLVIDO" beside a returned ticket's number
    std::array<QLabel *, 6> m_prizes{};   // each ticket's prizes, right of its rows
    bool m_pressed = false;
};

} // namespace bolaris
