#include "DrawPanel.h"

#include "BallMedia.h"
#include "game/BallSource.h"
#include "AtaDialog.h"
#include "CardCheckPanel.h"
#include "game/DisplayBoard.h"
#include "DrawFeed.h"
#include "DrawPrizesWindow.h"
#include "game/DrawLog.h"
#include "game/LoggedDraw.h"
#include "game/FewestPointsTable.h"
#include "game/GameStep.h"
#include "MediaInstaller.h"
#include "MediaMaker.h"
#include "PlayersDisplay.h"
#include "UnitVenc.h"
#include "dataset/DatasetError.h"
#include "dataset/WorkDir.h"
#include "ui/ClickLabel.h"
#include "ui/HeldKeys.h"
#include "ui/Prompter.h"
#include "ui/SoundPlayer.h"
#include "ui/UiBuild.h"
#include "ui/UnitProc.h"
#include "validation/RegistryWatch.h"
#include "validation/ValidationRegistry.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <qdrawutil.h>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleHints>
#include <QTimer>

#include <cmath>

namespace bolaris {

namespace {

constexpr int kColumnLefts[10] = {6, 73, 139, 205, 271, 337, 403, 469, 535, 601};
constexpr int kBallRowTops[9] = {6, 49, 92, 135, 178, 221, 264, 307, 351};

// Waits of the picture of a ball, in milliseconds.
constexpr double kBeforeShow = 864;
constexpr double kBeforeZoom = 259.2;
constexpr double kZoomStep = 43.2;

// A panel with a caption: a raised frame whose text is centred.
ClickLabel *captionPanel(QWidget *parent, const QString &name, const QString &text, const QRect &place,
                         const QColor &background, const QFont &font, const QColor &textColour)
{
    auto *p = new ClickLabel(text, parent);
    p->setObjectName(name);
    p->setGeometry(place);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Raised);
    p->setAlignment(Qt::AlignCenter);
    p->setFont(font);
    ui::setBackground(p, background);
    ui::setTextColour(p, textColour);
    return p;
}

QCheckBox *checkBox(QWidget *parent, const QString &name, const QString &text, const QRect &place)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setGeometry(place);
    // A click leaves the keyboard where it was ("Sortear pedra" in a draw):
    // the next Enter or Space draws a ball rather than flipping the box.
    box->setFocusPolicy(Qt::TabFocus);
    return box;
}

// A ball of the board: a captioned panel painted from a picture made once
// for each look, so that a whole board repaints in a fraction of a millisecond.
class BallPanel : public ClickLabel {
public:
    using ClickLabel::ClickLabel;

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
            m_cache = QPixmap();
        ClickLabel::changeEvent(event);
    }
    void resizeEvent(QResizeEvent *event) override
    {
        m_cache = QPixmap();
        ClickLabel::resizeEvent(event);
    }
    void paintEvent(QPaintEvent *) override
    {
        const qreal ratio = devicePixelRatioF();
        if (m_cache.isNull() || m_cache.devicePixelRatio() != ratio) {
            m_cache = QPixmap(size() * ratio);
            m_cache.setDevicePixelRatio(ratio);
            m_cache.fill(palette().color(QPalette::Window));
            QPainter p(&m_cache);
            qDrawShadePanel(&p, rect(), palette(), false, 1);
            p.setFont(font());
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(rect(), Qt::AlignCenter, text());
        }
        QPainter(this).drawPixmap(0, 0, m_cache);
    }

private:
    QPixmap m_cache;
};

// The picture frame: a black panel whose picture fills it inside a 1-pixel border.
class PictureFrame : public QFrame {
public:
    explicit PictureFrame(QWidget *parent) : QFrame(parent) {}
    ClickLabel *picture = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QFrame::resizeEvent(event);
        if (picture)
            picture->setGeometry(rect().adjusted(1, 1, -1, -1));
    }
};

} // namespace

DrawPanel::DrawPanel(QWidget *parent, DrawState &state, ValidationRegistry &registry, const CartelaTable &cards,
                     FewestPointsTable &fewest, const QString &workDir, Prompter &prompter, SoundPlayer &sound)
    : ModePanel(parent, QStringLiteral("PanelSorteio"), {8, 5, 798, 534}), m_state(state), m_registry(registry),
      m_fewest(fewest), m_game(std::make_unique<GameStep>(cards)),
      m_workDir(workDir), m_prompter(prompter), m_sound(&sound),
      m_systemSource(std::make_unique<SystemBallSource>()),
      m_dialogInstaller(std::make_unique<DialogMediaInstaller>(this, prompter)),
      m_log(std::make_unique<DrawLog>(workDir))
{
    m_source = m_systemSource.get();
    m_installer = m_dialogInstaller.get();
    m_sinceStart.start();
    buildBoard();
    buildControls();
    m_conf = new CardCheckPanel(this, cards, state, prompter, [this] {
        return ClaimDraw::of(*m_game, m_state, m_registry.TableVali(), m_registry.TableValiC());
    });
    // A held Space or Enter presses a button of the panel once, never a run of balls.
    (new HeldKeys(this))->watchButtonsOf(this);
    m_log->setListener(this, [this](const QString &failure, const QString &notice) { logStatus(failure, notice); });
    // A registry shared with other desks changes during the draw: its sales
    // count from the next draw.
    connect(&registry.TableVali(), &Dataset::changed, this, [this] {
        if (isVisible())
            showCompeting();
    });
    m_prizesWindow = std::make_unique<DrawPrizesWindow>();
    m_prizesWindow->setAtaAction([this, &cards] {
        if (m_state.mode() != DrawMode::Idle)
            return;
        m_log->drain(); // the draw just ended is in the file
        AtaDialog dialog(m_prizesWindow.get(), m_workDir, cards, m_registry, m_prompter);
        dialog.exec();
    });
    if (RegistryWatch *watch = registry.watch()) {
        connect(watch, &RegistryWatch::connectionLost, this, &DrawPanel::registryLost);
        connect(watch, &RegistryWatch::reconnected, this, [this] {
            m_serverNotice->hide();
            if (isVisible())
                showCompeting();
        });
    }
}

DrawPanel::~DrawPanel()
{
    // A draw cut short by the end of the program is closed in the log as
    // interrupted: the next start offers it back.
    if (m_state.mode() != DrawMode::Idle)
        m_log->endDraw(true);
}

PlayersDisplay *DrawPanel::playersDisplay() const
{
    return m_display && m_telao->isChecked() ? m_display.get() : nullptr;
}

void DrawPanel::buildBoard()
{
    m_board = ui::panel(this, QStringLiteral("PanelPedras"), 5, 3, 670, 396, ui::clSilver);
    const QFont font = ui::fontOf(QStringLiteral("Arial"), 32, ui::Bold);
    for (int n = 1; n <= DrawState::kBalls; ++n) {
        const QRect place(kColumnLefts[(n - 1) % 10], kBallRowTops[(n - 1) / 10], 64, 41);
        auto *ball = new BallPanel(QString::number(n), m_board);
        ball->setObjectName(QStringLiteral("P%1").arg(n));
        ball->setGeometry(place);
        ball->setFont(font);
        ui::setBackground(ball, ui::clBlack);
        ui::setTextColour(ball, ui::clLime);
        connect(ball, &ClickLabel::clicked, this, [this, n] {
            if (!secondHalfOfDoubleClick(n))
                whenNoBallEvent([this, n] { P1Click(n); });
        });
        m_balls[size_t(n)] = ball;
    }
    m_board->setEnabled(false);
}

bool DrawPanel::secondHalfOfDoubleClick(int ball)
{
    const qint64 now = m_clock ? m_clock() : m_sinceStart.elapsed();
    if (ball == m_clickedBall && now - m_clickedAt < QGuiApplication::styleHints()->mouseDoubleClickInterval())
        return true; // the time of the first click stands: a later click is a take-back
    m_clickedBall = ball;
    m_clickedAt = now;
    return false;
}

void DrawPanel::buildControls()
{
    using namespace ui;
    m_order = label(this, QStringLiteral("LabelOrdem"), DrawState::heading(), 7, 405, font());
    m_order->setFixedSize(530, 65);
    m_order->setWordWrap(true);
    m_order->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBackground(m_order, clWhite);

    label(this, QStringLiteral("Label12"), QStringLiteral("Última pedra sorteada"), 543, 403, font());
    m_last = captionPanel(this, QStringLiteral("PanelUltima"), QString(), {540, 419, 128, 109}, clBlack,
                          fontOf(QStringLiteral("Arial"), 96, Bold), clRed);

    m_concorCaption = new ClickLabel(QStringLiteral("Cartelas concorrendo:"), this);
    m_concorCaption->setObjectName(QStringLiteral("LabelCC"));
    m_concorCaption->move(11, 476);
    m_concorCaption->adjustSize();
    m_concor = new ClickLabel(QStringLiteral("0"), this);
    m_concor->setObjectName(QStringLiteral("LabelConcor"));
    m_concor->setFont(sansFont(19));
    m_concor->move(48, 495);
    m_concor->resize(90, 24);
    // Under the count while the registry's server is lost during a draw; the cause in its tool tip.
    m_serverNotice = label(this, QStringLiteral("LabelServidor"), QStringLiteral("Servidor fora do ar"), 8, 519,
                           sansFont(11, Bold));
    m_serverNotice->setFixedSize(132, 15);
    setTextColour(m_serverNotice, clRed);
    m_serverNotice->hide();
    connect(m_concorCaption, &ClickLabel::clicked, this, &DrawPanel::LabelConcorClick);
    connect(m_concor, &ClickLabel::clicked, this, &DrawPanel::LabelConcorClick);
    m_nextDraw = label(this, QStringLiteral("LabelProximo"), QString(), 11, 519, font());
    m_nextDraw->setToolTip(QStringLiteral("Cartelas validadas durante este sorteio: concorrem a partir do próximo."));
    m_nextDraw->hide();

    label(this, QStringLiteral("LabelSor"), QStringLiteral("Pedras sorteadas"), 146, 476, font());
    m_drawnCount = label(this, QStringLiteral("LabelSorteadas"), QStringLiteral("0"), 234, 472, sansFont(20, Bold));
    label(this, QStringLiteral("LabelRes"), QStringLiteral("Faltam"), 195, 506, font());
    m_remaining = label(this, QStringLiteral("LabelRestam"), QStringLiteral("90"), 234, 504, sansFont(20, Bold));
    for (QLabel *counter : {m_drawnCount, m_remaining}) {
        counter->setFixedSize(37, 26);
        counter->setAlignment(Qt::AlignCenter);
        setBackground(counter, clBlack);
    }
    setTextColour(m_drawnCount, clRed);
    setTextColour(m_remaining, clLime);

    label(this, QStringLiteral("Label13"), QStringLiteral("Sorteios extras:"), 322, 474, sansFont(11, Bold));
    m_cantos = checkBox(this, QStringLiteral("CheckCantos"), QStringLiteral("Os quatro cantos"), {416, 472, 108, 17});
    m_linha = checkBox(this, QStringLiteral("CheckLinha"), QStringLiteral("linha"), {416, 490, 108, 17});
    m_2linhas = checkBox(this, QStringLiteral("Check2linhas"), QStringLiteral("2 linhas"), {416, 509, 108, 17});

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    m_memo->setGeometry(673, 249, 122, 244);
    m_memo->setReadOnly(true);

    m_tipo = panel(this, QStringLiteral("PanelTipo"), 680, 6, 110, 115, clMoneyGreen);
    label(m_tipo, QStringLiteral("Label10"), QStringLiteral("Tipo de sorteio:"), 8, 16, font());
    QPushButton *manual = button(m_tipo, QStringLiteral("ButtonManual"), QStringLiteral("Sorteio manual"), 7, 43, 96, 27);
    QPushButton *electronic =
        button(m_tipo, QStringLiteral("ButtonEletronico"), QStringLiteral("Sorteio eletrônico"), 7, 73, 96, 27);
    for (QPushButton *b : {manual, electronic})
        connect(b, &QPushButton::clicked, this, [this, b] { ButtonManualClick(b->objectName()); });

    m_alea = button(this, QStringLiteral("ButtonAlea"), QStringLiteral("Sortear pedra"), 679, 16, 96, 25);
    connect(m_alea, &QPushButton::clicked, this, [this] { whenNoBallEvent([this] { ButtonAleaClick(); }); });
    m_alea->hide();
    m_fim = button(this, QStringLiteral("ButtonFim"), QStringLiteral("Encerra o sorteio"), 681, 98, 96, 25);
    connect(m_fim, &QPushButton::clicked, this, [this] {
        whenNoBallEvent([this] {
            if (confirmEnd())
                ButtonFimClick();
        });
    });
    m_fim->hide();
    QPushButton *sair = addExitButton(QStringLiteral("ButtonSair"), QStringLiteral("Sair"), {682, 128, 96, 25});
    connect(sair, &QPushButton::clicked, this, [this] {
        whenNoBallEvent([this] {
            if (confirmEnd())
                ButtonSairClick();
        });
    });

    m_som = checkBox(this, QStringLiteral("CheckSom"), QStringLiteral("Som da pedra"), {681, 162, 102, 17});
    connect(m_som, &QCheckBox::clicked, this, &DrawPanel::CheckSomClick);
    m_imagem = checkBox(this, QStringLiteral("CheckImagem"), QStringLiteral("Imagem da Pedra"), {681, 185, 102, 17});
    connect(m_imagem, &QCheckBox::clicked, this, &DrawPanel::CheckImagemClick);
    m_telao = checkBox(this, QStringLiteral("CheckTelao"), QStringLiteral("Telão"), {681, 208, 102, 17});
    connect(m_telao, &QCheckBox::clicked, this, &DrawPanel::CheckTelaoClick);
    m_celulares = checkBox(this, QStringLiteral("CheckCelulares"), QStringLiteral("Celulares"), {681, 231, 102, 17});
    connect(m_celulares, &QCheckBox::clicked, this, &DrawPanel::CheckCelularesClick);
    showFeedAddress();
    for (QCheckBox *prize : {m_cantos, m_linha, m_2linhas})
        connect(prize, &QCheckBox::toggled, this, &DrawPanel::refreshDisplay);

    for (QWidget *w : std::initializer_list<QWidget *>{m_cantos, m_linha, m_2linhas, m_som, m_imagem, manual,
                                                        electronic, m_fim})
        condenseToFit(w);

    m_confCart = button(this, QStringLiteral("ButtonConfCart"), QStringLiteral("Verificar cartela"), 674, 499, 96, 25);
    connect(m_confCart, &QPushButton::clicked, this, &DrawPanel::ButtonConfCartClick);
    // What the winner check reads, and the card check: pressed during a ball
    // event, they act after it (eventFilter).
    for (QWidget *w : std::initializer_list<QWidget *>{m_cantos, m_linha, m_2linhas, m_som, m_confCart})
        w->installEventFilter(this);

    auto *frame = new PictureFrame(this);
    frame->setObjectName(QStringLiteral("PanelImagem"));
    stylePanel(frame, clBlack);
    frame->picture = new ClickLabel(frame);
    frame->picture->setObjectName(QStringLiteral("Imagem"));
    frame->picture->setScaledContents(true);
    frame->setGeometry(5, 6, 55, 49);
    frame->hide();
    connect(frame->picture, &ClickLabel::clicked, this, &DrawPanel::ImagemClick);
    m_pictureFrame = frame;
    m_picture = frame->picture;
}

QRect DrawPanel::controlsColumn() const
{
    QRect column;
    for (const QWidget *w : std::initializer_list<const QWidget *>{m_tipo, m_alea, m_fim, exitButton(), m_som,
                                                                    m_imagem, m_telao, m_memo, m_confCart})
        column = column.united(w->geometry());
    return QRect(mapToGlobal(column.topLeft()), column.size());
}

QList<QRect> DrawPanel::operatorControls() const
{
    QRect switches = m_cantos->geometry().united(m_linha->geometry()).united(m_2linhas->geometry());
    QList<QRect> controls{controlsColumn(), QRect(mapToGlobal(switches.topLeft()), switches.size())};
    // In a manual draw the operator clicks the balls on the board too.
    if (m_state.mode() == DrawMode::Manual)
        controls << QRect(m_board->mapToGlobal(QPoint(0, 0)), m_board->size());
    if (m_prizesWindow && m_prizesWindow->isVisible())
        controls << m_prizesWindow->frameGeometry();
    return controls;
}

// --- entering, starting, ending, leaving -----------------------------------

void DrawPanel::enter()
{
    show();
    m_board->setEnabled(false);
    m_tipo->show();
    m_alea->hide();
    m_fim->hide();
    m_tipo->findChild<QWidget *>(QStringLiteral("ButtonManual"))->setFocus();
    registryReadable();
    showCompeting();
    m_prizesWindow->showBelow(*window(), controlsColumn());
    showPrizes();
    offerResume();
}

bool DrawPanel::registryReadable()
{
    // A registry that could not be read at the start (busy, locked) may be
    // readable now; a draw on an empty one would announce nobody.
    if (!m_registry.isOpen())
        m_registry.reopen();
    return m_registry.isOpen();
}

void DrawPanel::ButtonManualClick(const QString &pressedName)
{
    const bool electronic = pressedName == QLatin1String("ButtonEletronico");
    if (m_state.mode() != DrawMode::Idle)
        m_log->endDraw();
    // A registry on a server that has not been read since the start is as unreadable as a busy file.
    const bool readable = registryReadable() && m_registry.access() != ValidationRegistry::Access::Unavailable;
    if (!readable)
        m_prompter.inform(QStringLiteral("Sorteio"),
                          QStringLiteral("O registro de validação não pôde ser lido: nenhuma cartela concorre neste "
                                         "sorteio e nenhum vencedor será anunciado.\n\n%1")
                              .arg(m_registry.refusal()),
                          MessageIcon::Error);
    m_state.start(electronic ? DrawMode::Electronic : DrawMode::Manual);
    // What competes is what the registry holds now; later entries count from the next draw.
    m_game->newDraw(CompetingSet::fromRegistry(m_registry.TableVali(), m_registry.TableValiC()));
    m_logTold = false;
    m_serverNotice->hide();
    if (m_registry.watch() && m_registry.watch()->isLost())
        registryLost(m_registry.watch()->lastFailure());
    m_lastBall = 0;
    m_banner.clear();
    m_scanWinners.clear();
    m_scanPrizes.clear();
    m_log->startDraw(m_state.mode(), m_game->competing());
    m_drawNumber = m_log->currentDraw();
    m_memo->clear();
    resetBoard();
    showRunning(m_state.mode());
    showCompeting();
    showPrizes();
    refreshDisplay();
}

void DrawPanel::showRunning(DrawMode mode)
{
    showCounters();
    m_fim->show();
    m_tipo->hide();
    m_board->setEnabled(true);
    m_order->setText(m_state.orderText());
    m_order->show();
    m_prizesWindow->setDrawRunning(true);
    if (mode == DrawMode::Electronic) {
        m_alea->show();
        m_alea->setEnabled(m_state.canDrawElectronic());
        m_alea->setFocus(); // not "Encerra o sorteio", which a Space would press
    } else {
        m_alea->hide();
        m_board->setFocus(); // the balls are clicked; no key of the panel's ends the draw
    }
}

bool DrawPanel::confirmEnd()
{
    if (m_state.mode() == DrawMode::Idle || m_state.DrawnCount() == 0)
        return true;
    return m_prompter.ask(QStringLiteral("Sorteio"),
                          QStringLiteral("Encerra o sorteio com %1 pedras sorteadas?").arg(m_state.DrawnCount()), false);
}

void DrawPanel::showCompeting()
{
    if (m_state.mode() == DrawMode::Idle) {
        m_concor->setText(QString::number(m_registry.TableVali().recordCount()));
        m_nextDraw->hide();
        return;
    }
    m_concor->setText(QString::number(m_game->competing().cardCount()));
    const int sold = m_game->competing().cardsAddedIn(
        CompetingSet::fromRegistry(m_registry.TableVali(), m_registry.TableValiC()));
    m_nextDraw->setText(QStringLiteral("+%1 para o próximo").arg(sold));
    m_nextDraw->adjustSize();
    m_nextDraw->setVisible(sold > 0 && !m_serverNotice->isVisible());
}

void DrawPanel::showPrizes()
{
    if (m_drawNumber <= 0 && m_state.mode() != DrawMode::Idle)
        m_drawNumber = m_log->currentDraw();
    m_prizesWindow->setPrizes(m_game->prizes(), m_drawNumber);
}

void DrawPanel::offerResume()
{
    if (m_state.mode() != DrawMode::Idle)
        return;
    const std::optional<DrawLogWriter::Interrupted> cut = m_log->interruptedDraw();
    if (!cut)
        return;
    const QString last = cut->lastBall > 0 ? QString::number(cut->lastBall) : QStringLiteral("nenhuma");
    if (!m_prompter.ask(QStringLiteral("Sorteio"),
                        QStringLiteral("O sorteio %1 foi interrompido depois de %2 pedras (última: %3). Continua este "
                                       "sorteio?")
                            .arg(cut->draw)
                            .arg(cut->balls)
                            .arg(last),
                        true)) {
        m_log->declineDraw(cut->draw);
        return;
    }
    resume(cut->draw);
}

bool DrawPanel::resume(int number)
{
    std::optional<LoggedDraw> logged;
    try {
        logged = LoggedDraw::read(m_workDir, number);
    } catch (const DatasetError &e) {
        m_prompter.inform(QStringLiteral("Sorteio"), e.forOperator(), MessageIcon::Error);
        return false;
    }
    const auto cannot = [&](const QString &why) {
        m_prompter.inform(QStringLiteral("Sorteio"),
                          QStringLiteral("O sorteio %1 não pode ser retomado: o registro dos sorteios %2 %3.")
                              .arg(number)
                              .arg(QLatin1String(DrawLog::kFileName), why),
                          MessageIcon::Error);
        return false;
    };
    if (!logged || logged->damaged)
        return cannot(QStringLiteral("está danificado"));
    // The draw played again from its log: the same board, order, switches,
    // prizes and fewest-points list as at its last event.
    GameStep::Result last;
    registryReadable();
    const int impossible = logged->play(*m_game, m_state,
                                        CompetingSet::fromRegistry(m_registry.TableVali(), m_registry.TableValiC()),
                                        [&last](size_t, const GameStep::Result &result) { last = result; });
    if (impossible >= 0) {
        m_state.end();
        return cannot(QStringLiteral("tem uma pedra que o sorteio não pode ter tido"));
    }
    m_log->resumeDraw(number, logged->mode);
    // The last ball's announcement, when the break came before it was written.
    const bool announced = !logged->balls.empty() && !logged->balls.back().announcedNothing();
    if (!logged->balls.empty() && !announced &&
        (!last.report.lines.isEmpty() || !last.report.winners.isEmpty() || !last.report.fewestLines.isEmpty()))
        m_log->scan(last.report);
    m_drawNumber = number;
    m_logTold = false;
    m_serverNotice->hide();
    m_cantos->setChecked(m_game->switches().cantos);
    m_linha->setChecked(m_game->switches().linha);
    m_2linhas->setChecked(m_game->switches().twoRows);
    for (int n = 1; n <= DrawState::kBalls; ++n)
        setBallColour(n, m_state.drawn(n));
    m_lastBall = m_state.lastEventBall();
    m_lastTakenBack = m_lastBall > 0 && !m_state.lastEventDrew();
    m_memo->setPlainText(last.report.memoLines().join(QLatin1Char('\n')));
    m_banner = DisplayBoard::bannerOf(last.report);
    m_prizesBefore = m_banner;
    m_scanWinners = last.report.winners;
    m_scanPrizes = last.report.prizes;
    if (last.report.fewestRebuilt) {
        try {
            m_fewest.rebuild(last.report.fewest);
        } catch (const DatasetError &e) {
            m_prompter.error(e.forOperator());
        }
    }
    showRunning(logged->mode);
    if (m_winners && !last.report.winners.isEmpty()) {
        m_winners->startScan(*window());
        for (const TicketRef &winner : last.report.winners)
            m_winners->ShowWinner(winner.card, QString(winner.series), winner.ticket);
        m_winners->finishScan();
    }
    showCompeting();
    showPrizes();
    refreshDisplay();
    return true;
}

void DrawPanel::ButtonFimClick()
{
    if (m_state.mode() != DrawMode::Idle)
        m_log->endDraw();
    m_prizesWindow->setDrawRunning(false);
    m_serverNotice->hide();
    m_lastBall = 0;
    m_banner.clear();
    m_scanWinners.clear();
    m_scanPrizes.clear();
    m_tipo->show();
    m_fim->hide();
    m_alea->hide();
    m_board->setEnabled(false);
    m_state.end();
    showCounters();
    m_memo->clear();
    m_order->setText(m_state.orderText());
    m_order->show();
    resetBoard();
    showCompeting();
    refreshDisplay();
}

void DrawPanel::ButtonSairClick()
{
    if (m_leave)
        m_leave();
    hide();
    ButtonFimClick();
    if (m_celulares->isChecked()) {
        m_celulares->setChecked(false);
        CheckCelularesClick();
    }
}

void DrawPanel::showCounters()
{
    m_drawnCount->setText(QString::number(m_state.DrawnCount()));
    m_remaining->setText(QString::number(m_state.remaining()));
    m_last->setText(m_state.lastBall());
}

void DrawPanel::resetBoard()
{
    for (int n = 1; n <= DrawState::kBalls; ++n)
        setBallColour(n, false);
}

void DrawPanel::setBallColour(int ball, bool drawn)
{
    ui::setTextColour(m_balls[size_t(ball)], drawn ? ui::clRed : ui::clLime);
}

// --- ball events -------------------------------------------------------------

void DrawPanel::whenNoBallEvent(std::function<void()> action)
{
    if (m_abandoned)
        return;
    if (m_running)
        m_held.push_back(std::move(action));
    else
        action();
}

void DrawPanel::ButtonAleaClick()
{
    const std::optional<BallEvent> event = m_state.drawElectronic(*m_source);
    if (!event)
        return;
    const int n = event->ball;
    logBall(*event);
    playBallSound(n);
    if (!m_state.canDrawElectronic())
        m_alea->setEnabled(false);
    showCounters();
    m_order->setText(m_state.orderText());
    setBallColour(n, true);

    // A picture still shown shrinks where it stands, whether or not one follows.
    m_pictureFrame->resize(48, 48);
    std::vector<Step> steps;
    // The folder is searched for the picture only when pictures are shown.
    const QString picture = m_imagem->isChecked() ? BallMedia::pictureFor(m_workDir, n) : QString();
    if (!picture.isEmpty()) {
        m_picture->setPixmap(QPixmap::fromImage(BallMedia::readPicture(picture)));
        m_pictureFrame->move(ballPictureStart(n));
        steps.push_back({kBeforeShow, [this] {
                             m_pictureFrame->show();
                             placePicture(m_pictureFrame->geometry());
                         }});
        for (Step &s : zoomSteps())
            steps.push_back(std::move(s));
    }
    beginBallEvent(std::move(steps));
}

void DrawPanel::P1Click(int ball)
{
    if (m_state.mode() != DrawMode::Manual)
        return; // ignored in an electronic draw; the board is disabled while idle
    // The ball is in the log before any media file is touched.
    const std::optional<BallEvent> event = m_state.clickManual(ball);
    if (event)
        logBall(*event);
    playBallSound(ball);
    QPoint pictureStart;
    const QString picture = m_imagem->isChecked() ? BallMedia::pictureFor(m_workDir, ball) : QString();
    const bool withPicture = !picture.isEmpty();
    if (withPicture) {
        m_picture->setPixmap(QPixmap::fromImage(BallMedia::readPicture(picture)));
        pictureStart = ballPictureStart(ball);
    }
    if (!event)
        return;
    setBallColour(ball, event->drawn);
    showCounters();
    m_order->setText(m_state.orderText());

    std::vector<Step> steps;
    if (withPicture) {
        m_pictureFrame->setGeometry(QRect(pictureStart, QSize(48, 48)));
        m_pictureFrame->show();
        m_pictureFrame->raise();
        m_conf->raise();
        steps = zoomSteps();
    }
    beginBallEvent(std::move(steps));
}

QPoint DrawPanel::ballPictureStart(int ball) const
{
    const QWidget *b = m_balls[size_t(ball)];
    return {b->x(), b->y() + 36};
}

std::vector<DrawPanel::Step> DrawPanel::zoomSteps()
{
    const QPoint start = m_pictureFrame->pos();
    std::vector<Step> steps;
    steps.push_back({kBeforeZoom, {}});
    for (const QRect &place : BallMedia::zoomSteps(start.x(), start.y())) {
        steps.back().action = [this, place] { placePicture(place); };
        steps.push_back({kZoomStep, {}});
    }
    return steps;
}

void DrawPanel::placePicture(const QRect &geometry)
{
    m_pictureFrame->setGeometry(geometry);
    m_pictureFrame->raise();
    m_conf->raise(); // the card check panel stays in front
}

void DrawPanel::abandon()
{
    m_abandoned = true;
    ++m_generation; // the zoom's pending steps do nothing
    m_held.clear();
    if (m_display)
        m_display->hide();
    m_prizesWindow->hide();
    // The log is closed now, while the operator can still be told what it
    // lost; the draw is offered back at the next start.
    if (m_state.mode() != DrawMode::Idle)
        m_log->endDraw(true);
    if (const int lost = m_log->close())
        m_prompter.inform(QStringLiteral("Registro dos sorteios"),
                          QStringLiteral("%1 evento(s) do sorteio (início, pedras ou fim) não puderam ser gravados no "
                                         "registro dos sorteios %2 e se perderam.")
                              .arg(lost)
                              .arg(QLatin1String(DrawLog::kFileName)),
                          MessageIcon::Error);
    if (m_feed)
        m_feed->stop();
}

void DrawPanel::beginBallEvent(std::vector<Step> steps)
{
    m_running = true;
    m_steps = std::move(steps);
    runStep(0, ++m_generation);
}

void DrawPanel::runStep(size_t index, quint64 generation)
{
    // Steps run one after the other, each after its wait; the window keeps
    // painting and taking input during the waits.
    for (; index < m_steps.size(); ++index) {
        const int wait = int(std::lround(m_steps[index].waitMs * m_timeScale));
        if (wait > 0) {
            QTimer::singleShot(wait, Qt::PreciseTimer, this, [this, index, generation] {
                if (generation != m_generation)
                    return;
                if (m_steps[index].action)
                    m_steps[index].action();
                runStep(index + 1, generation);
            });
            return;
        }
        if (m_steps[index].action)
            m_steps[index].action();
    }
    endBallEvent();
}

void DrawPanel::endBallEvent()
{
    m_steps.clear();
    CheckWinners();
    const QStringList prizes = m_banner;
    m_banner = DisplayBoard::newPrizes(prizes, m_prizesBefore);
    m_prizesBefore = prizes;
    // The prizes come first in the report: its top stays in sight.
    m_memo->moveCursor(QTextCursor::Start);
    m_memo->ensureCursorVisible();
    refreshDisplay();
    m_running = false;
    // Input that came during the event, in its order; each may start a new
    // ball event, which holds the rest again.
    while (!m_running && !m_held.empty()) {
        std::function<void()> action = std::move(m_held.front());
        m_held.pop_front();
        action();
    }
}

bool DrawPanel::eventFilter(QObject *watched, QEvent *event)
{
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (!button || !m_running)
        return ModePanel::eventFilter(watched, event);
    // A press of a switch during a ball event is held, like ball input, and
    // clicks the switch after the event.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return true;
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && button->rect().contains(mouse->position().toPoint()))
            whenNoBallEvent([button] { button->click(); });
        return true;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Space)
            return false;
        if (event->type() == QEvent::KeyRelease && !key->isAutoRepeat())
            whenNoBallEvent([button] { button->click(); });
        return true;
    }
    default:
        return ModePanel::eventFilter(watched, event);
    }
}

void DrawPanel::ButtonConfCartClick() { m_conf->ButtonConfCartClick(); }

void DrawPanel::CheckWinners()
{
    if (m_winners)
        m_winners->startScan(*window());
    m_game->setSwitches({m_cantos->isChecked(), m_linha->isChecked(), m_2linhas->isChecked()});
    m_memo->clear();
    const GameStep::Result result = m_game->step(m_state);
    showPrizes();
    const ScanReport &report = result.report;
    m_banner = DisplayBoard::bannerOf(report);
    m_scanWinners = report.winners;
    m_scanPrizes = report.prizes;
    if (!report.scanned)
        return;
    if (!report.lines.isEmpty() || !report.winners.isEmpty())
        m_log->scan(report);
    // The whole report at once: one layout of the text box, however many lines.
    if (!report.lines.isEmpty())
        m_memo->setPlainText(report.lines.join(QLatin1Char('\n')));
    if (report.fewestRebuilt) {
        try {
            m_fewest.rebuild(report.fewest);
        } catch (const DatasetError &e) {
            m_prompter.error(e.forOperator()); // the list is a by-product: the winners are still shown
        }
    }
    if (m_winners)
        for (const TicketRef &winner : report.winners)
            m_winners->ShowWinner(winner.card, QString(winner.series), winner.ticket);
    if (result.switchedOff.cantos)
        m_cantos->setChecked(false);
    if (result.switchedOff.linha)
        m_linha->setChecked(false);
    if (result.switchedOff.twoRows)
        m_2linhas->setChecked(false);

    if (!report.winners.isEmpty()) {
        if (m_som->isChecked())
            Delay(int(std::lround(2000 * m_timeScale)));
        if (m_abandoned)
            return; // the window closed during the pause
        m_sound->play(WorkDir::resolve(m_workDir, BallMedia::winSoundName()));
        if (!report.fewestLines.isEmpty())
            m_memo->appendPlainText(report.fewestLines.join(QLatin1Char('\n')));
        if (m_winners)
            m_winners->finishScan();
    }
    if (!result.missingToTell.isEmpty()) {
        const int shown = 40;
        QString cards = QStringList(result.missingToTell.mid(0, shown)).join(QStringLiteral(", "));
        if (result.missingToTell.size() > shown)
            cards += QStringLiteral(" e mais %1").arg(result.missingToTell.size() - shown);
        m_prompter.inform(QStringLiteral("Conferência dos cartões"),
                          QStringLiteral("As cartelas validadas abaixo não estão no arquivo de cartelas e não estão "
                                         "sendo conferidas neste sorteio:\n\n%1.")
                              .arg(cards),
                          MessageIcon::Information);
    }
}

void DrawPanel::playBallSound(int ball)
{
    if (m_som->isChecked())
        m_sound->play(BallMedia::soundFor(m_workDir, ball));
}

// --- media, picture, competing count -------------------------------------

void DrawPanel::probe(QCheckBox *box, const QString &probeName, const QString &text, const QString &caption, int parts)
{
    if (!box->isChecked() || WorkDir::exists(m_workDir, probeName))
        return;
    if (m_prompter.ask(caption, text, false))
        m_installer->install(m_workDir, parts);
    box->setChecked(true);
}

void DrawPanel::CheckSomClick()
{
    probe(m_som, BallMedia::soundProbeName(),
          QStringLiteral("Os arquivos de som das pedras não foram localizados na pasta do programa. Baixa da internet "
                         "para instalação?"),
          QStringLiteral("Arquivos de som"), MediaMaker::Sounds);
}

void DrawPanel::CheckImagemClick()
{
    probe(m_imagem, BallMedia::pictureProbeName(),
          QStringLiteral("Os arquivos de imagem das pedras não foram localizados na pasta do programa. Baixa da "
                         "internet para instalação?"),
          QStringLiteral("Arquivos de imagem"), MediaMaker::Pictures);
}

void DrawPanel::ImagemClick() { m_pictureFrame->hide(); }

void DrawPanel::CheckTelaoClick()
{
    if (!m_telao->isChecked()) {
        if (m_display)
            m_display->hide();
        return;
    }
    if (!m_display) {
        m_display = std::make_unique<PlayersDisplay>();
        connect(m_display.get(), &PlayersDisplay::closed, this, [this] { m_telao->setChecked(false); });
    }
    refreshDisplay();
    showFeedAddress();
    m_display->openBeside(*window(), operatorControls());
}

void DrawPanel::CheckCelularesClick()
{
    if (!m_feed)
        return;
    if (!m_celulares->isChecked()) {
        m_feed->stop();
        showFeedAddress();
        return;
    }
    const QString failure = m_feed->start();
    if (!failure.isEmpty()) {
        m_celulares->setChecked(false);
        m_prompter.inform(QStringLiteral("Celulares"), failure, MessageIcon::Error);
        return;
    }
    refreshDisplay();
    showFeedAddress();
}

void DrawPanel::showFeedAddress()
{
    const QString address = m_feed && m_feed->running() ? m_feed->address() : QString();
    m_celulares->setToolTip(address.isEmpty()
                                ? QStringLiteral("Mostra o sorteio nos celulares e TVs da rede local do salão.")
                                : QStringLiteral("Sorteio nos celulares e TVs: %1").arg(address));
    if (m_display)
        m_display->setAddress(address);
}

void DrawPanel::refreshDisplay()
{
    const PrizeSwitches inPlay{m_cantos->isChecked(), m_linha->isChecked(), m_2linhas->isChecked()};
    DisplayBoard board = DisplayBoard::of(m_state, m_lastBall, m_lastTakenBack, inPlay);
    board.banner = m_banner;
    board.draw = m_drawNumber;
    if (m_feed && m_feed->running()) {
        // The phones get the whole draw, so that one joining late (or a feed
        // switched on mid-draw) sees the order and every prize standing.
        DrawHistory history{m_state.sequence(), {}};
        history.prizes.reserve(m_game->prizes().size());
        for (const PrizeWon &p : m_game->prizes())
            history.prizes.append({p.prize, p.ticket, p.ball});
        board.history = std::move(history);
        m_feed->publish(board, m_state.mode(), m_scanWinners, m_scanPrizes);
        board.history.reset(); // the players' display does not need it
    }
    if (playersDisplay()) {
        m_display->setBoard(board);
        m_display->keepClearOf(operatorControls());
    }
}

void DrawPanel::logBall(const BallEvent &event)
{
    m_lastBall = event.ball;
    m_lastTakenBack = !event.drawn;
    m_banner.clear();
    m_scanWinners.clear();
    m_scanPrizes.clear();
    m_log->ball(event, {m_cantos->isChecked(), m_linha->isChecked(), m_2linhas->isChecked()});
}

void DrawPanel::logStatus(const QString &failure, const QString &notice)
{
    if (!notice.isEmpty())
        m_prompter.inform(QStringLiteral("Registro dos sorteios"), notice, MessageIcon::Information);
    if (failure.isEmpty()) {
        m_logTold = false; // written again: a new failure is told again
        return;
    }
    if (m_logTold)
        return;
    m_logTold = true;
    m_prompter.inform(QStringLiteral("Registro dos sorteios"),
                      QStringLiteral("O registro deste sorteio (%1) não pode ser gravado. %2\n\nO sorteio continua "
                                     "normalmente; o registro será gravado assim que for possível.")
                          .arg(QLatin1String(DrawLog::kFileName), failure),
                      MessageIcon::Error);
}

void DrawPanel::drainLog() { m_log->drain(); }

void DrawPanel::registryLost(const QString &why)
{
    // Told on the panel, not in a message box: a box would take the ball
    // clicks made before its OK.
    if (m_state.mode() == DrawMode::Idle)
        return;
    const QString told = QStringLiteral("%1\n\nO sorteio continua normalmente: o que concorre foi fixado no início do "
                                        "sorteio. Vendas feitas agora em outras mesas valem a partir do próximo "
                                        "sorteio.")
                             .arg(why);
    m_serverNotice->setToolTip(told);
    m_serverNotice->setAccessibleDescription(told);
    m_serverNotice->show();
    m_nextDraw->hide(); // the same place: the server's silence is what matters now
}

void DrawPanel::LabelConcorClick()
{
    const QColor colour = m_concorBlack ? ui::clMoneyGreen : ui::clBlack;
    m_concorBlack = !m_concorBlack;
    ui::setTextColour(m_concor, colour);
    ui::setTextColour(m_concorCaption, colour);
}

} // namespace bolaris
