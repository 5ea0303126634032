#pragma once

#include "game/GameStep.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTableView;

namespace bolaris {

class PrizesModel;

// "Prêmios do sorteio": every prize won in the current draw so far, with its
// ball, series, card and ticket; after the draw ends it stays until the next
// one starts. It sits below the main window (or where the screen has room,
// never over the controls the operator keeps using) and never takes the
// keyboard. Its button makes the minutes of a draw when none is running.
class DrawPrizesWindow : public QWidget {
    Q_OBJECT
public:
    explicit DrawPrizesWindow(QWidget *parent = nullptr);
    ~DrawPrizesWindow() override;

    // The prizes of draw number (0 while the log has not numbered it).
    void setPrizes(const QList<PrizeWon> &prizes, int number);
    // While a draw runs the minutes cannot be made.
    void setDrawRunning(bool running);
    void setAtaAction(std::function<void()> action) { m_ata = std::move(action); }

    // Shows it beside mainWindow, without the keyboard; keepClear is the part
    // of the screen it must never cover.
    void showBelow(const QWidget &mainWindow, const QRect &keepClear);
    // Where its frame goes on available: below mainFrame when there is room
    // for kMinHeight, else right of it, else the place that covers none of
    // keepClear.
    static QRect placeFor(const QRect &mainFrame, const QRect &available, const QRect &keepClear);
    static constexpr int kMinHeight = 150;
    static constexpr int kMaxHeight = 420;

private:
    static QString titleOf(const QList<PrizeWon> &prizes, int number);
    PrizesModel *m_model = nullptr;
    QLabel *m_title = nullptr;
    QTableView *m_table = nullptr;
    QPushButton *m_ataButton = nullptr;
    std::function<void()> m_ata;
};

} // namespace bolaris
