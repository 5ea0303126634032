#include "CardCheckPanel.h"

#include "game/DrawState.h"
#include "game/TicketView.h"
#include "cards/CardStore.h"
#include "dataset/StrictInt.h"
#include "ui/Prompter.h"
#include "ui/UiBuild.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

namespace bolaris {

namespace {
constexpr int kTicketTops[6] = {39, 126, 213, 299, 387, 475};
constexpr int kCardRowTops[18] = {8,   35,  62,  95,  122, 149, 182, 209, 236,
                                  269, 298, 323, 356, 383, 410, 444, 471, 498};
constexpr int kCellLefts[9] = {6, 38, 70, 102, 135, 167, 199, 231, 264};
constexpr QChar kEnter(13);

// The claim's texts, in the room the card leaves free: the status under the
// card box, "DEVOLVIDO" under a ticket's number, the prizes right of the rows
// (above "Sai da conferência").
constexpr QRect kStatus(21, 148, 205, 44);
constexpr int kContextGap = 4;
constexpr int kReturnedBelowLabel = 21;
constexpr int kPrizesLeft = 652, kPrizesWidth = 140, kPrizesBottom = 478;
const QColor kCompetes(0x00, 0x80, 0x00); // clGreen

// Tops for boxes of the given heights, each as near its wanted top as the
// boxes before it and the bottom allow.
std::array<int, 6> flowTops(const std::array<int, 6> &wanted, const std::array<int, 6> &heights, int top, int bottom)
{
    std::array<int, 6> tops{};
    int next = top;
    for (size_t i = 0; i < 6; ++i) {
        tops[i] = std::max(wanted[i], next);
        next = tops[i] + heights[i] + 2;
    }
    int limit = bottom;
    for (size_t i = 6; i-- > 0;) {
        tops[i] = std::max(top, std::min(tops[i], limit - heights[i]));
        limit = tops[i] - 2;
    }
    return tops;
}
} // namespace

CardCheckPanel::CardCheckPanel(QWidget *parent, const CartelaTable &cards, const DrawState &draw, Prompter &prompter,
                               ClaimSource claimDraw)
    : QFrame(parent), m_cards(cards), m_draw(draw), m_prompter(prompter), m_claimDraw(std::move(claimDraw))
{
    using namespace ui;
    setObjectName(QStringLiteral("PanelConf"));
    setGeometry(0, 0, 794, 536);
    stylePanel(this, clCream);

    label(this, QStringLiteral("Label16"), QStringLiteral("Série"), 21, 26, sansFont(19));
    m_serie = edit(this, QStringLiteral("EditCSerie"), 21, 47, 28, 32, sansFont(19));
    m_serie->setText(QStringLiteral("A"));
    upperCase(m_serie);
    label(this, QStringLiteral("LabelCA1"), QStringLiteral("Cartela:"), 21, 82, sansFont(19));
    m_card = edit(this, QStringLiteral("EditConf"), 21, 103, 89, 32, sansFont(19));
    for (QLineEdit *box : {m_serie, m_card})
        box->installEventFilter(this);

    for (int i = 0; i < 6; ++i)
        m_tickets[size_t(i)] = label(this, QStringLiteral("LabelC%1").arg(i + 1), QStringLiteral("Cartão 1234567"),
                                     231, kTicketTops[i], sansFont(16));
    const QFont cellFont = fontOf(QStringLiteral("Arial"), 16, Bold);
    for (int r = 0; r < 18; ++r) {
        QFrame *row =
            panel(this, QStringLiteral("PanelC%1").arg(r + 1), 347, kCardRowTops[r], 299, 27, clSilver);
        m_rows[size_t(r)] = row;
        for (int c = 0; c < 9; ++c) {
            auto *cell = new QLabel(row);
            cell->setObjectName(QStringLiteral("C%1%2").arg(r + 1).arg(c + 1));
            cell->setGeometry(kCellLefts[c] + (r == 10 ? 1 : 0), 3, 30, 21);
            cell->setAlignment(Qt::AlignCenter);
            cell->setFont(cellFont);
            setBackground(cell, clBlack);
            setTextColour(cell, clLime);
            m_cells[size_t(r)][size_t(c)] = cell;
        }
    }

    label(this, QStringLiteral("Label17"), QStringLiteral("Cor das dezenas:"), 23, 403, sansFont(16));
    QLabel *undrawn = label(this, QStringLiteral("Label9"), QStringLiteral("88"), 23, 425, sansFont(20, Bold));
    label(this, QStringLiteral("Label18"), QStringLiteral("Não sorteadas"), 67, 431, sansFont(13));
    QLabel *drawn = label(this, QStringLiteral("Label23"), QStringLiteral("88"), 22, 457, sansFont(20));
    label(this, QStringLiteral("Label19"), QStringLiteral("Sorteadas"), 68, 460, sansFont(13));
    for (QLabel *sample : {undrawn, drawn}) {
        sample->setFixedSize(37, 26);
        sample->setAlignment(Qt::AlignCenter);
        setBackground(sample, clBlack);
    }
    setTextColour(undrawn, clLime);
    setTextColour(drawn, clRed);

    QPushButton *out = button(this, QStringLiteral("ButtonVCSai"), QStringLiteral("Sai da conferência"), 648, 480,
                              121, 25);
    connect(out, &QPushButton::clicked, this, &CardCheckPanel::ButtonVCSaiClick);

    m_status = label(this, QStringLiteral("LabelValidada"), QString(), kStatus.left(), kStatus.top(), sansFont(16, Bold));
    m_claimContext = label(this, QStringLiteral("LabelConcorre"), QString(), kStatus.left(), kStatus.top(), sansFont(12));
    for (QLabel *text : {m_status, m_claimContext}) {
        text->setFixedWidth(kStatus.width());
        text->setWordWrap(true);
    }
    for (int i = 0; i < 6; ++i) {
        QLabel *mark = label(this, QStringLiteral("LabelDevolvido%1").arg(i + 1), CardClaim::returnedMark(), 231,
                             kTicketTops[i] + kReturnedBelowLabel, sansFont(13, Bold));
        setTextColour(mark, clRed);
        m_returned[size_t(i)] = mark;
        QLabel *prizes = label(this, QStringLiteral("LabelPremios%1").arg(i + 1), QString(), kPrizesLeft,
                               kCardRowTops[3 * i], sansFont(12));
        prizes->setFixedWidth(kPrizesWidth);
        prizes->setWordWrap(true);
        m_prizes[size_t(i)] = prizes;
    }
    for (QLabel *claim : m_returned)
        claim->hide();
    hide();
}

void CardCheckPanel::ButtonConfCartClick()
{
    for (size_t r = 0; r < m_rows.size(); ++r) {
        ui::setBackground(m_rows[r], ui::clWhite);
        for (QLabel *cell : m_cells[r])
            cell->clear();
    }
    for (QLabel *claim : {m_status, m_claimContext})
        claim->clear();
    for (size_t i = 0; i < 6; ++i) {
        m_returned[i]->hide();
        m_prizes[i]->clear();
    }
    show();
    raise();
    move(0, 0);
    m_card->setFocus();
}

void CardCheckPanel::EditConfKeyPress(QChar key)
{
    if (key != kEnter)
        return;
    const std::optional<int> number = parseStrictInt(m_card->text().trimmed());
    if (!number || *number < 1 || *number > kCardsPerSeries)
        return; // silently refused
    const int n = *number;
    ButtonConfCartClick();
    const QString serie = m_serie->text().trimmed();
    const char first = serie.isEmpty() ? 'A' : serie.at(0).toLatin1();
    const char letter = IsSeriesLetter(first) ? first : 'A';
    for (int i = 0; i < 6; ++i)
        m_tickets[size_t(i)]->setText(QStringLiteral("Cartão %1").arg(TicketNumber(n, i + 1)));
    for (QLabel *label : m_tickets)
        label->adjustSize();
    showClaim(letter, n);

    const std::string_view text = m_cards.card(letter, n);
    if (!IsReadableCard(text)) {
        m_prompter.inform(QStringLiteral("Verificar cartela"),
                          QStringLiteral("A cartela %1 da série %2 não está no arquivo de cartelas (\"compl22.cds\") "
                                         "e não pode ser mostrada.")
                              .arg(n)
                              .arg(QChar::fromLatin1(letter)),
                          MessageIcon::Information);
        return;
    }
    for (int position = 1; position <= 6; ++position) {
        const TicketView view = TicketView::of(text, position, m_draw);
        for (size_t r = 0; r < 3; ++r) {
            const size_t row = size_t(3 * (position - 1)) + r;
            for (size_t c = 0; c < 9; ++c) {
                const TicketView::Cell &shown = view.cells[r][c];
                if (shown.text.isEmpty())
                    continue;
                QLabel *cell = m_cells[row][c];
                cell->setText(shown.text);
                ui::setTextColour(cell, shown.drawn ? ui::clRed : ui::clLime);
            }
            ui::setBackground(m_rows[row], view.rowFull[r] ? ui::clRed : ui::clWhite);
        }
    }
}

void CardCheckPanel::showClaim(char series, int card)
{
    if (!m_claimDraw)
        return;
    const ClaimDraw draw = m_claimDraw();
    const CardClaim claim = CardClaim::of(series, card, draw.competing, draw.prizes);
    m_status->setText(claim.status());
    ui::setTextColour(m_status, claim.competes ? kCompetes : ui::clRed);
    m_status->setFixedHeight(m_status->heightForWidth(kStatus.width()));
    m_claimContext->setText(draw.caption());
    m_claimContext->setFixedHeight(m_claimContext->heightForWidth(kStatus.width()));
    m_claimContext->move(kStatus.left(), kStatus.top() + m_status->height() + kContextGap);

    std::array<int, 6> wanted{}, heights{};
    for (size_t i = 0; i < 6; ++i) {
        const CardClaim::Ticket &ticket = claim.tickets[i];
        m_returned[i]->setVisible(ticket.returned);
        QLabel *prizes = m_prizes[i];
        prizes->setText(ticket.prizeTexts().join(QLatin1Char('\n')));
        heights[i] = prizes->text().isEmpty() ? 0 : prizes->heightForWidth(kPrizesWidth);
        wanted[i] = kCardRowTops[3 * i];
    }
    const std::array<int, 6> tops = flowTops(wanted, heights, kCardRowTops[0], kPrizesBottom);
    for (size_t i = 0; i < 6; ++i)
        m_prizes[i]->setGeometry(kPrizesLeft, tops[i], kPrizesWidth, heights[i]);
}

bool CardCheckPanel::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_card || watched == m_serie) && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            EditConfKeyPress(kEnter);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void CardCheckPanel::mousePressEvent(QMouseEvent *event)
{
    // Only the background: a press on a child that does not take it lands here too.
    m_pressed = event->button() == Qt::LeftButton && !childAt(event->position().toPoint());
    event->accept();
}

void CardCheckPanel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
                       !childAt(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        PanelConfClick();
}

} // namespace bolaris
