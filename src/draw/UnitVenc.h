#pragma once

#include <QWidget>

#include <array>

class QFrame;
class QLabel;

namespace bolaris {

class CartelaTable;
class DrawState;

// The winning-tickets window "Cartões vencedores": six slots A to F, each
// showing one winning ticket of the latest scan with its drawn numbers. One
// window for the whole run, hidden until a scan has a prize.
class TFormVenc : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSlots = 6;
    static constexpr int kClientWidth = 308;

    TFormVenc(const CartelaTable &cards, const DrawState &draw, QWidget *parent = nullptr);

    // Start of a scan: place the window beside the main window, hide it and
    // its six slots, and count the winners of the scan from 0.
    void startScan(const QWidget &mainWindow);
    // One prize of the scan: card n of series L, ticket t of the series.
    void ShowWinner(int card, const QString &series, int ticket);
    // End of a scan: shown and brought to the front when it had a prize.
    void finishScan();
    int WinnersShown() const { return m_shown; }

    // Where the window's frame goes: right of the main window's frame with a
    // gap of 2, moved left as far as needed to stay on the available screen.
    static QPoint placeBeside(const QRect &mainFrame, int ownFrameWidth, const QRect &available);
    // The outer height for a count of winners in one scan; 0 when it has no slot.
    static int outerHeight(int winners);
    // The outer height last asked for.
    int wantedOuterHeight() const { return m_outerHeight; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Slot {
        QFrame *panel = nullptr;
        QLabel *card = nullptr;
        QLabel *ticket = nullptr;
        std::array<QFrame *, 3> rows{};
        std::array<std::array<QLabel *, 9>, 3> cells{};
    };
    void buildSlot(int index);
    void applyOuterHeight();

    const CartelaTable &m_cards;
    const DrawState &m_draw;
    std::array<Slot, kSlots> m_slots;
    int m_shown = 0;
    int m_outerHeight = 139;
};

} // namespace bolaris
