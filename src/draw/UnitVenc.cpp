#include "UnitVenc.h"

#include "DrawState.h"
#include "TicketView.h"
#include "cards/CardStore.h"
#include "ui/UiBuild.h"

#include <QFrame>
#include <QLabel>
#include <QScreen>

namespace bolaris {

namespace {
constexpr int kSlotTops[TFormVenc::kSlots] = {0, 99, 196, 295, 392, 489};
constexpr int kOuterHeights[TFormVenc::kSlots] = {139, 236, 332, 429, 528, 624};
constexpr int kRowTops[3] = {20, 44, 67};
constexpr int kCellLefts[9] = {5, 37, 69, 101, 134, 166, 198, 230, 261};
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
        QFrame *row = ui::panel(slot.panel, QStringLiteral("Panel") + x + QString::number(r + 1), 5, kRowTops[r], 292,
                                25, ui::clSilver);
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

QPoint TFormVenc::placeBeside(const QRect &mainFrame, int ownFrameWidth, const QRect &available)
{
    int left = mainFrame.left() + mainFrame.width() + 2;
    if (!available.isEmpty() && left + ownFrameWidth > available.left() + available.width())
        left = std::max(available.left(), available.left() + available.width() - ownFrameWidth);
    return {left, mainFrame.top()};
}

int TFormVenc::outerHeight(int winners)
{
    return winners >= 1 && winners <= kSlots ? kOuterHeights[winners - 1] : 0;
}

void TFormVenc::startScan(const QWidget &mainWindow)
{
    m_shown = 0;
    hide();
    for (Slot &slot : m_slots)
        slot.panel->hide();
    const QScreen *screen = mainWindow.screen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    const int frameWidth = frameGeometry().width() > width() ? frameGeometry().width() : width();
    move(placeBeside(mainWindow.frameGeometry(), frameWidth, available));
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
    show();
    raise();
}

void TFormVenc::applyOuterHeight()
{
    // The height asked for includes the title bar and borders, known once the
    // window manager has framed the window.
    const int decoration = frameGeometry().height() - geometry().height();
    setFixedHeight(std::max(1, m_outerHeight - std::max(0, decoration)));
}

void TFormVenc::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    applyOuterHeight();
}

} // namespace bolaris
