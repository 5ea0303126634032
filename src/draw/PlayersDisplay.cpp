#include "PlayersDisplay.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QScreen>

namespace bolaris {

namespace {

const QColor kBackground(0x0B, 0x1A, 0x2E);
const QColor kUndrawn(0x1C, 0x2C, 0x42);
const QColor kUndrawnText(0x6A, 0x7E, 0x99);
const QColor kDrawn(0xFF, 0xCC, 0x00);
const QColor kText(0xF2, 0xF5, 0xFA);
const QColor kBanner(0xC6, 0x1B, 0x1B);

QFont face(int pixels, bool bold = true)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

} // namespace

PlayersDisplay::PlayersDisplay(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormTelao"));
    setWindowTitle(QStringLiteral("Bolaris 90/15 — Telão"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 180);
    resize(960, 540);
}

void PlayersDisplay::setBoard(const DisplayBoard &board)
{
    if (board == m_board)
        return;
    m_board = board;
    update(); // painted when the event loop comes back, never inside a ball event
}

void PlayersDisplay::openBeside(const QScreen *mainScreen)
{
    const QScreen *other = nullptr;
    for (QScreen *s : QGuiApplication::screens())
        if (s != mainScreen) {
            other = s;
            break;
        }
    if (other) {
        setScreen(const_cast<QScreen *>(other));
        setGeometry(other->geometry());
        showFullScreen();
    } else {
        showNormal();
    }
    raise();
}

QRectF PlayersDisplay::designRect(const QSize &window)
{
    const double scale = std::min(window.width() / double(kDesign.width()), window.height() / double(kDesign.height()));
    const QSizeF size(kDesign.width() * scale, kDesign.height() * scale);
    return QRectF(QPointF((window.width() - size.width()) / 2, (window.height() - size.height()) / 2), size);
}

void PlayersDisplay::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    const QRectF design = designRect(size());
    p.translate(design.topLeft());
    p.scale(design.width() / kDesign.width(), design.height() / kDesign.height());
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The board: ten balls a row, nine rows.
    const QFont number = face(60);
    p.setFont(number);
    for (int n = 1; n <= DrawState::kBalls; ++n) {
        const int row = (n - 1) / 10, column = (n - 1) % 10;
        const QRectF cell(30 + column * 126, 30 + row * 113, 126, 113);
        const QRectF ball = cell.adjusted(10, 5, -10, -5);
        const bool drawn = m_board.drawn[size_t(n)];
        p.setPen(Qt::NoPen);
        p.setBrush(drawn ? kDrawn : kUndrawn);
        p.drawRoundedRect(ball, 22, 22);
        p.setPen(drawn ? Qt::black : kUndrawnText);
        p.drawText(ball, Qt::AlignCenter, QString::number(n));
    }

    // The last ball, very large.
    const QRectF side(1320, 20, 580, 1040);
    p.setPen(kText);
    p.setFont(face(46));
    p.drawText(QRectF(side.left(), 20, side.width(), 60), Qt::AlignCenter,
               m_board.lastTakenBack ? QStringLiteral("PEDRA RETIRADA") : QStringLiteral("ÚLTIMA PEDRA"));
    const QPointF centre(side.center().x(), 330);
    const double radius = 240;
    QRadialGradient body(centre - QPointF(radius * 0.35, radius * 0.4), radius * 1.5);
    const QColor ballColour = m_board.lastTakenBack ? QColor(0x55, 0x5F, 0x6E) : QColor(0xD3, 0x2F, 0x2F);
    body.setColorAt(0, ballColour.lighter(160));
    body.setColorAt(0.5, ballColour);
    body.setColorAt(1, ballColour.darker(250));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, radius * 0.7, radius * 0.7);
    p.setPen(Qt::black);
    p.setFont(face(m_board.last >= 10 ? 250 : 290));
    p.drawText(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), Qt::AlignCenter,
               m_board.last ? QString::number(m_board.last) : QString());

    // The count and the prizes in play.
    p.setPen(kText);
    p.setFont(face(44));
    p.drawText(QRectF(side.left(), 600, side.width(), 56), Qt::AlignCenter, QStringLiteral("PEDRAS SORTEADAS"));
    p.setPen(kDrawn);
    p.setFont(face(120));
    p.drawText(QRectF(side.left(), 650, side.width(), 130), Qt::AlignCenter, QString::number(m_board.count));
    p.setPen(kText);
    p.setFont(face(44));
    p.drawText(QRectF(side.left(), 800, side.width(), 56), Qt::AlignCenter, QStringLiteral("EM JOGO"));
    p.setFont(face(46, false));
    const QStringList prizes = m_board.prizesInPlay();
    for (qsizetype i = 0; i < prizes.size(); ++i)
        p.drawText(QRectF(side.left(), 860 + i * 52, side.width(), 52), Qt::AlignCenter, prizes[i]);

    // The winners of the last ball, over the board until the next ball.
    if (!m_board.banner.isEmpty()) {
        const int shown = int(std::min<qsizetype>(m_board.banner.size(), 4));
        const double lineHeight = 100;
        const double height = 60 + lineHeight * (shown + (m_board.banner.size() > shown ? 1 : 0));
        const QRectF banner(50, 540 - height / 2, 1820, height);
        p.setPen(Qt::NoPen);
        p.setBrush(kBanner);
        p.drawRoundedRect(banner, 30, 30);
        p.setPen(Qt::white);
        p.setFont(face(80));
        for (int i = 0; i < shown; ++i)
            p.drawText(QRectF(banner.left(), banner.top() + 30 + i * lineHeight, banner.width(), lineHeight),
                       Qt::AlignCenter, m_board.banner[i]);
        if (m_board.banner.size() > shown)
            p.drawText(QRectF(banner.left(), banner.top() + 30 + shown * lineHeight, banner.width(), lineHeight),
                       Qt::AlignCenter, QStringLiteral("e mais %1").arg(m_board.banner.size() - shown));
    }
}

void PlayersDisplay::closeEvent(QCloseEvent *event)
{
    event->accept();
    Q_EMIT closed();
}

void PlayersDisplay::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        event->ignore();
}

} // namespace bolaris
