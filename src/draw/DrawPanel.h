#pragma once

#include "game/DrawState.h"
#include "game/WinnerScan.h"
#include "ui/ModePanel.h"

#include <QElapsedTimer>
#include <QString>

#include <array>
#include <deque>
#include <functional>
#include <memory>

class QCheckBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace bolaris {

class BallSource;
class CardCheckPanel;
class DrawFeed;
class DrawPrizesWindow;
class DrawLog;
class PlayersDisplay;
struct ScanReport;
class CartelaTable;
class ClickLabel;
class FewestPointsTable;
class GameStep;
class MediaInstaller;
class Prompter;
class SoundPlayer;
class TFormVenc;
class ValidationRegistry;

// The Draw panel "Sorteio": the board of 90 balls, the order of the draw, the
// counters, the last ball, the prize switches and the buttons that start, run
// and end a manual or electronic draw, with the card check panel inside it.
//
// A ball event (a ball drawn or clicked) runs to its end, picture zoom and
// winner check included, before the next ball input is handled: board
// clicks, "Sortear pedra", "Encerra o sorteio" and "Sair" that come during
// one are held and handled in order after it.
class DrawPanel : public ModePanel {
    Q_OBJECT
public:
    DrawPanel(QWidget *parent, DrawState &state, ValidationRegistry &registry, const CartelaTable &cards,
              FewestPointsTable &fewest, const QString &workDir, Prompter &prompter, SoundPlayer &sound);
    ~DrawPanel() override;

    CardCheckPanel *cardCheckPanel() const { return m_conf; }
    const DrawState &state() const { return m_state; }

    // Seams, replaced by tests.
    void setWinnersWindow(TFormVenc *window) { m_winners = window; }
    void setBallSource(BallSource &source) { m_source = &source; }
    void setSoundPlayer(SoundPlayer &sound) { m_sound = &sound; }
    void setMediaInstaller(MediaInstaller &installer) { m_installer = &installer; }
    // Where "Celulares" sends the draw; without one the box does nothing.
    void setDrawFeed(DrawFeed &feed) { m_feed = &feed; }
    // Scales the waits of the picture zoom; 0 runs a whole ball event at once.
    void setTimeScale(double scale) { m_timeScale = scale; }
    // Milliseconds of a steady clock, for telling a double click from two clicks.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    // Run by "Sair" after the panel is hidden (the main window shows its menu).
    void setLeaveAction(std::function<void()> action) { m_leave = std::move(action); }

    // On the screen: the right-hand column of buttons, check boxes and the
    // report, which the operator uses throughout a draw.
    QRect controlsColumn() const;
    // What the players' display on the same screen keeps clear: that column,
    // the prize switches, the prizes window, and in a manual draw the board.
    QList<QRect> operatorControls() const;
    // True from the start of a ball event until its winner check has ended.
    bool ballEventRunning() const { return m_running; }
    // Waits until the draw log has written every event so far (tests).
    void drainLog();
    // The registry's server was lost during a draw: said on the panel, why in
    // its tool tip, until the server is back or the draw ends.
    void registryLost(const QString &why);
    // The players' display while "Telão" is ticked, else null.
    PlayersDisplay *playersDisplay() const;
    // The window listing the prizes of the draw.
    DrawPrizesWindow *prizesWindow() const { return m_prizesWindow.get(); }
    // The game of the current draw, or of the last one once it has ended.
    const GameStep &game() const { return *m_game; }
    // The program is ending: the running ball event's remaining steps and the
    // held input are dropped, and ball input is ignored from now on.
    void abandon();

    // Handlers.
    void enter(); // the panel's steps of the menu entry "Sorteio"
    void ButtonManualClick(const QString &pressedName);
    void ButtonAleaClick();
    void P1Click(int ball);
    void ButtonFimClick();
    void ButtonSairClick();
    void CheckSomClick();
    void CheckImagemClick();
    void ImagemClick();
    void LabelConcorClick();
    void CheckTelaoClick();
    void CheckCelularesClick();
    void ButtonConfCartClick();
    // Runs at the end of every ball event.
    void CheckWinners();
    // "Encerra o sorteio" and "Sair" during a draw with balls drawn: true to end it.
    bool confirmEnd();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Opens the registry again when it could not be read; true when it can be.
    bool registryReadable();
    struct Step {
        double waitMs; // before the action
        std::function<void()> action;
    };

    void buildBoard();
    // A click on the ball clicked last, within the desktop's double-click
    // interval: the second half of a double click, not a take-back.
    bool secondHalfOfDoubleClick(int ball);
    void buildControls();
    // Runs the action now, or after the running ball event.
    void whenNoBallEvent(std::function<void()> action);
    void beginBallEvent(std::vector<Step> steps);
    void runStep(size_t index, quint64 generation);
    void endBallEvent();
    void showCounters();
    void resetBoard();
    void playBallSound(int ball);
    void setBallColour(int ball, bool drawn);
    QPoint ballPictureStart(int ball) const;
    void placePicture(const QRect &geometry);
    std::vector<Step> zoomSteps();
    void refreshDisplay();
    // "Cartelas concorrendo": the draw's own count while one runs, and how
    // many cards were sold since it started (they compete from the next).
    void showCompeting();
    void showPrizes();
    // Offers back a draw the log says was cut short, and resumes it on Yes.
    void offerResume();
    bool resume(int number);
    // The draw panel's controls as a draw running in mode shows them.
    void showRunning(DrawMode mode);
    void showFeedAddress();
    // Tells a failure of the draw log once per draw; the game goes on.
    void logStatus(const QString &failure, const QString &notice);
    void logBall(const BallEvent &event);
    void probe(QCheckBox *box, const QString &probeName, const QString &text, const QString &caption, int parts);

    DrawState &m_state;
    ValidationRegistry &m_registry;
    FewestPointsTable &m_fewest;
    std::unique_ptr<GameStep> m_game;
    QString m_workDir;
    Prompter &m_prompter;
    SoundPlayer *m_sound;
    BallSource *m_source;
    std::unique_ptr<BallSource> m_systemSource;
    MediaInstaller *m_installer;
    std::unique_ptr<MediaInstaller> m_dialogInstaller;
    TFormVenc *m_winners = nullptr;
    std::function<void()> m_leave;
    double m_timeScale = 1.0;
    std::function<qint64()> m_clock;
    QElapsedTimer m_sinceStart;
    int m_clickedBall = 0;
    qint64 m_clickedAt = 0;

    bool m_running = false;
    bool m_abandoned = false;
    quint64 m_generation = 0;
    std::vector<Step> m_steps;
    std::deque<std::function<void()>> m_held;
    bool m_concorBlack = false; // the count's labels start in the system's text colour
    std::unique_ptr<DrawLog> m_log;
    bool m_logTold = false; // a failure of the log was told in this draw
    std::unique_ptr<PlayersDisplay> m_display;
    int m_lastBall = 0;
    bool m_lastTakenBack = false;
    QStringList m_banner; // the winners of the last scan, shown until the next ball
    QStringList m_prizesBefore; // every winner of the scan before, shown or not
    QList<TicketRef> m_scanWinners; // the same winners for the feed, with their prizes
    QStringList m_scanPrizes;
    DrawFeed *m_feed = nullptr;
    std::unique_ptr<DrawPrizesWindow> m_prizesWindow;
    int m_drawNumber = 0; // the log's number of the current or last draw, 0 until known

    QFrame *m_board = nullptr;
    std::array<ClickLabel *, DrawState::kBalls + 1> m_balls{}; // index 0 unused
    QLabel *m_order = nullptr;
    QLabel *m_last = nullptr;
    ClickLabel *m_concorCaption = nullptr;
    ClickLabel *m_concor = nullptr;
    QLabel *m_nextDraw = nullptr;
    QLabel *m_serverNotice = nullptr;
    QLabel *m_drawnCount = nullptr;
    QLabel *m_remaining = nullptr;
    QCheckBox *m_cantos = nullptr;
    QCheckBox *m_linha = nullptr;
    QCheckBox *m_2linhas = nullptr;
    QCheckBox *m_som = nullptr;
    QCheckBox *m_imagem = nullptr;
    QCheckBox *m_telao = nullptr;
    QCheckBox *m_celulares = nullptr;
    QPlainTextEdit *m_memo = nullptr;
    QFrame *m_tipo = nullptr;
    QPushButton *m_alea = nullptr;
    QPushButton *m_fim = nullptr;
    QPushButton *m_confCart = nullptr;
    QFrame *m_pictureFrame = nullptr;
    ClickLabel *m_picture = nullptr;
    CardCheckPanel *m_conf = nullptr;
};

} // namespace bolaris
