#include "UnitVenc.h"

#include "game/DrawState.h"
#include "game/TicketView.h"
#include "cards/CardStore.h"
#include "ui/UiBuild.h"

#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <vector>

namespace bolaris {

namespace {
constexpr int kSlotTops[TFormVenc::kSlots] = {0, 99, 196, 295, 392, 489};
constexpr int kOuterHeights[TFormVenc::kSlots] = {139, 236, 332, 429, 528, 624};
constexpr int kTicketRowTops[3] = {20, 44, 67};
constexpr int kCellLefts[9] = {5, 37, 69, 101, 134, 166, 198, 230, 261};

qint64 area(const QRect &r) { return r.isEmpty() ? 0 : qint64(r.width()) * r.height(); }
} // namespace

TFormVenc::TFormVenc(const CartelaTable &cards, const DrawState &draw, QWidget *parent)
    : QWidget(parent, Qt::Window), m_cards(cards), m_draw(draw)
{
    setObjectName(QStringLiteral("FormVenc"));
    setWindowTitle(QStringLiteral("Cartões vencedores"));
    setAttribute(Qt::WA_QuitOnClose, false);
    // Brought to the front without taking the keyboard from the operator.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(ui::sansFont(11));
    ui::setBackground(this, ui::clBtnFace());
    for (int i = 0; i < kSlots; ++i)
        buildSlot(i);
    setFixedWidth(kClientWidth);
    applyOuterHeight();
}

void TFormVenc::buildSlot(int index)
{
    const QString x(QChar(u'A' + index));
    Slot &slot = m_slots[size_t(index)];
    slot.panel = ui::panel(this, QStringLiteral("Panel") + x, 0, kSlotTops[index], 302, 95, ui::clBtnFace());
    slot.card = ui::label(slot.panel, QStringLiteral("LabelC") + x + QLatin1Char('1'), QStringLiteral("Cartela:"), 8,
                          2, ui::sansFont(13));
    const bool lower = index >= 3;
    slot.ticket = ui::label(slot.panel, QStringLiteral("LabelC") + x + QLatin1Char('2'), QStringLiteral("Cartão"),
                            lower ? 180 : 148, lower ? 3 : 2, ui::sansFont(13));
    const QFont cellFont = ui::fontOf(QStringLiteral("Arial"), 16, ui::Bold);
    for (int r = 0; r < 3; ++r) {
        QFrame *row = ui::panel(slot.panel, QStringLiteral("Panel") + x + QString::number(r + 1), 5,
                                kTicketRowTops[r], 292, 25, ui::clSilver);
        slot.rows[size_t(r)] = row;
        for (int c = 0; c < 9; ++c) {
            auto *cell = new QLabel(row);
            cell->setObjectName(x + QString::number(r + 1) + QString::number(c + 1));
            cell->setGeometry(kCellLefts[c], 3, 28, 18);
            cell->setAlignment(Qt::AlignCenter);
            cell->setFont(cellFont);
            ui::setBackground(cell, ui::clBlack);
            ui::setTextColour(cell, ui::clRed);
            slot.cells[size_t(r)][size_t(c)] = cell;
        }
    }
    slot.panel->hide();
}

QPoint TFormVenc::placeBeside(const QRect &mainFrame, const QSize &ownFrame, const QRect &available,
                              const QRect &keepClear)
{
    const QPoint beside(mainFrame.left() + mainFrame.width() + 2, mainFrame.top());
    if (available.isEmpty())
        return beside;
    auto clamped = [&](QPoint p) {
        p.setX(std::max(available.left(), std::min(p.x(), available.left() + available.width() - ownFrame.width())));
        p.setY(std::max(available.top(), std::min(p.y(), available.top() + available.height() - ownFrame.height())));
        return p;
    };
    if (!QRect(beside, ownFrame).intersects(keepClear) && available.contains(QRect(beside, ownFrame)))
        return beside;
    // Candidates along the main window, the screen's edges and the edges of
    // what must stay clear; the first of the least covering wins.
    const int w = ownFrame.width(), h = ownFrame.height();
    const std::vector<int> lefts = {beside.x(), available.left(), mainFrame.left() - w - 2,
                                    available.left() + available.width() - w, keepClear.left() - w - 2,
                                    keepClear.left() + keepClear.width() + 2};
    const std::vector<int> tops = {mainFrame.top(), mainFrame.top() + mainFrame.height() + 2, available.top(),
                                   available.top() + available.height() - h};
    QPoint best = clamped(beside);
    qint64 bestClear = area(QRect(best, ownFrame).intersected(keepClear));
    qint64 bestMain = area(QRect(best, ownFrame).intersected(mainFrame));
    for (int top : tops)
        for (int left : lefts) {
            const QPoint p = clamped({left, top});
            const QRect r(p, ownFrame);
            const qint64 clear = keepClear.isEmpty() ? 0 : area(r.intersected(keepClear));
            const qint64 main = area(r.intersected(mainFrame));
            if (clear < bestClear || (clear == bestClear && main < bestMain)) {
                best = p;
                bestClear = clear;
                bestMain = main;
            }
        }
    return best;
}

int TFormVenc::outerHeight(int winners)
{
    return winners >= 1 && winners <= kSlots ? kOuterHeights[winners - 1] : 0;
}

void TFormVenc::startScan(const QWidget &mainWindow)
{
    m_shown = 0;
    learnFrame(&mainWindow);
    hide();
    for (Slot &slot : m_slots)
        slot.panel->hide();
    const QScreen *screen = mainWindow.screen();
    m_available = screen ? screen->availableGeometry() : QRect();
    m_mainFrame = mainWindow.frameGeometry();
}

void TFormVenc::learnFrame(const QWidget *mainWindow)
{
    if (isVisible()) {
        const QMargins own = ui::frameOf(*this);
        if (!own.isNull()) {
            m_frame = own;
            m_frameMeasured = true;
            return;
        }
    }
    if (!m_frameMeasured && mainWindow && mainWindow->isVisible())
        m_frame = ui::frameOf(*mainWindow); // the same window manager frames both
}

void TFormVenc::place()
{
    // The client area is placed where the frame's corner goes plus the frame:
    // a hidden window has no frame of its own to be measured, and a move()
    // would then put the client area where the frame should be.
    const QSize outer(kClientWidth + m_frame.left() + m_frame.right(), m_outerHeight);
    const QPoint corner = placeBeside(m_mainFrame, outer, m_available, m_keepClear ? m_keepClear() : QRect());
    setGeometry(QRect(corner + QPoint(m_frame.left(), m_frame.top()), size()));
}

void TFormVenc::ShowWinner(int card, const QString &series, int ticket)
{
    ++m_shown;
    if (m_shown > kSlots)
        return;
    m_outerHeight = kOuterHeights[m_shown - 1];
    applyOuterHeight();
    Slot &slot = m_slots[size_t(m_shown - 1)];
    slot.panel->show();
    slot.card->setText(QStringLiteral("Cartela:%1-%2").arg(card).arg(series));
    slot.card->adjustSize();
    slot.ticket->setText(QStringLiteral("Cartão%1").arg(ticket));
    slot.ticket->adjustSize();
    for (auto &row : slot.cells)
        for (QLabel *cell : row)
            cell->clear();

    // Any series text other than B to L counts as A.
    const char letter = series.size() == 1 && IsSeriesLetter(series.at(0).toLatin1()) ? series.at(0).toLatin1() : 'A';
    const std::string_view text = card >= 1 && card <= kCardsPerSeries ? m_cards.card(letter, card) : std::string_view();
    const int position = ticket % 6 == 0 ? 6 : ticket % 6;
    if (text.size() != size_t(kCardTextLength) || ticket < 1)
        return; // no card to show: the slot stays empty
    const TicketView view = TicketView::of(text, position, m_draw);
    for (size_t r = 0; r < 3; ++r) {
        for (size_t c = 0; c < 9; ++c) {
            const TicketView::Cell &shown = view.cells[r][c];
            if (shown.text.isEmpty())
                continue;
            QLabel *cell = slot.cells[r][c];
            cell->setText(shown.text);
            ui::setTextColour(cell, shown.drawn ? ui::clRed : ui::clLime);
        }
        ui::setBackground(slot.rows[r], view.rowFull[r] ? ui::clRed : ui::clWhite);
    }
}

void TFormVenc::finishScan()
{
    if (m_shown == 0)
        return;
    applyOuterHeight();
    place();
    show();
    raise();
}

void TFormVenc::applyOuterHeight()
{
    // The height asked for includes the title bar and borders.
    setFixedHeight(std::max(1, m_outerHeight - m_frame.top() - m_frame.bottom()));
}

void TFormVenc::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The window manager frames the window after it is mapped: a frame other
    // than the one assumed corrects the height and the place.
    QTimer::singleShot(200, this, [this] {
        const QMargins before = m_frame;
        learnFrame(nullptr);
        if (isVisible() && m_frame != before) {
            applyOuterHeight();
            place();
        }
    });
}

} // namespace bolaris
