#pragma once

#include <QMargins>
#include <QWidget>

#include <array>
#include <functional>

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

    // Start of a scan: note where the main window is, hide the window and its
    // six slots, and count the winners of the scan from 0.
    void startScan(const QWidget &mainWindow);
    // One prize of the scan: card n of series L, ticket t of the series.
    void ShowWinner(int card, const QString &series, int ticket);
    // End of a scan: placed, shown and brought to the front (without the
    // keyboard) when it had a prize.
    void finishScan();
    // The part of the screen the window must never cover (the controls the
    // operator keeps using during a draw); empty for none.
    void setKeepClear(std::function<QRect()> area) { m_keepClear = std::move(area); }
    int WinnersShown() const { return m_shown; }

    // Where the window's frame goes: right of the main window's frame with a
    // gap of 2 when it fits on the available screen; otherwise the place on
    // the screen that covers the least of the main window and nothing of
    // keepClear.
    static QPoint placeBeside(const QRect &mainFrame, const QSize &ownFrame, const QRect &available,
                              const QRect &keepClear = {});
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
    void place();
    // The window manager's frame: measured on this window once it has been
    // shown framed, taken from the main window until then.
    void learnFrame(const QWidget *mainWindow);

    const CartelaTable &m_cards;
    const DrawState &m_draw;
    std::array<Slot, kSlots> m_slots;
    int m_shown = 0;
    int m_outerHeight = 139;
    QMargins m_frame;
    bool m_frameMeasured = false;
    QRect m_mainFrame;
    QRect m_available;
    std::function<QRect()> m_keepClear;
};

} // namespace bolaris
