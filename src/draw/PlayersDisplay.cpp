#include "PlayersDisplay.h"

#include "ui/UiBuild.h"
#include "web/QrCode.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMoveEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace bolaris {

namespace {

const QColor kBackground(0x0B, 0x1A, 0x2E);
const QColor kUndrawn(0x1C, 0x2C, 0x42);
const QColor kUndrawnText(0x6A, 0x7E, 0x99);
const QColor kDrawn(0xFF, 0xCC, 0x00);
const QColor kText(0xF2, 0xF5, 0xFA);
const QColor kBanner(0xC6, 0x1B, 0x1B);
const QColor kAddress(0x11, 0x11, 0x11);

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
    // The operator's keys and clicks stay with the main window.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setMinimumSize(160, 90); // on a small single screen it takes what is left
    resize(960, 540);
}

void PlayersDisplay::setBoard(const DisplayBoard &board)
{
    if (board == m_board)
        return;
    m_board = board;
    update(); // painted when the event loop comes back, never inside a ball event
}

void PlayersDisplay::setAddress(const QString &address)
{
    if (address == m_address)
        return;
    m_address = address;
    m_qr = address.isEmpty() ? QImage() : qrCode(address);
    update();
}

void PlayersDisplay::openBeside(const QWidget &mainWindow, const QList<QRect> &keepClear)
{
    const QScreen *mainScreen = mainWindow.screen();
    const QScreen *other = nullptr;
    for (QScreen *s : QGuiApplication::screens())
        if (s != mainScreen) {
            other = s;
            break;
        }
    m_mainWindow = &mainWindow;
    m_keepClear = keepClear;
    m_replacements = 0;
    // On the main window's screen a tool window of it, which the window
    // manager keeps in front of it even when the operator clicks it (its
    // dialogs, shown later, still come in front); elsewhere a window of its own.
    const Qt::WindowType type = other ? Qt::Window : Qt::Tool;
    if (windowType() != type)
        setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | type);
    create();
    windowHandle()->setTransientParent(other ? nullptr : mainWindow.windowHandle());
    if (other) {
        setScreen(const_cast<QScreen *>(other));
        setGeometry(other->geometry());
        showFullScreen();
    } else {
        placeOnMainScreen();
        showNormal();
        // Its own frame, once the window manager has put it on, may differ
        // (a resizable window can have a thicker border).
        QTimer::singleShot(200, this, [this] {
            if (isVisible() && !isFullScreen())
                placeOnMainScreen();
        });
    }
    raise();
}

void PlayersDisplay::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    settle();
}

void PlayersDisplay::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    settle();
}

void PlayersDisplay::settle()
{
    // The window manager has framed the window, framed it anew, or given it
    // a place of its own while mapping it (a loaded machine can take longer
    // than any fixed wait): placed again when its frame is not the one the
    // placement counted with, or when it stands over the operator's
    // controls, which it never may. A few times per placement at most, so
    // that a window manager insisting on its own place is not fought forever.
    if (!m_mainWindow || !isVisible() || isFullScreen() || m_settling || m_replacements >= kMostReplacements)
        return;
    const QMargins own = ui::frameOf(*this);
    const QRect outer = geometry().marginsAdded(own.isNull() ? m_placedWith : own);
    const bool overControls =
        std::any_of(m_keepClear.begin(), m_keepClear.end(), [&](const QRect &r) { return r.intersects(outer); });
    if ((own.isNull() || own == m_placedWith) && !overControls)
        return;
    ++m_replacements;
    m_settling = true;
    placeOnMainScreen();
    m_settling = false;
}

void PlayersDisplay::keepClearOf(const QList<QRect> &keepClear)
{
    if (keepClear == m_keepClear || !isVisible() || isFullScreen())
        return;
    m_keepClear = keepClear;
    m_replacements = 0;
    placeOnMainScreen();
}

void PlayersDisplay::placeOnMainScreen()
{
    if (!m_mainWindow)
        return;
    // Placed by its client area. Before the window manager has framed it,
    // the main window's frame stands for its own.
    const QMargins own = ui::frameOf(*this);
    const QMargins frame = isVisible() && !own.isNull() ? own : ui::frameOf(*m_mainWindow);
    m_placedWith = frame;
    const QScreen *screen = m_mainWindow->screen();
    const QRect outer = placeOnScreen(m_mainWindow->frameGeometry(), m_keepClear,
                                      screen ? screen->availableGeometry() : QRect(), frame);
    if (!outer.isEmpty())
        setGeometry(outer.marginsRemoved(frame));
}

QRect PlayersDisplay::placeOnScreen(const QRect &mainFrame, const QList<QRect> &keepClear, const QRect &available,
                                    const QMargins &frame)
{
    constexpr int gap = 2;
    const int mainRight = mainFrame.left() + mainFrame.width(), mainBottom = mainFrame.top() + mainFrame.height();
    // The free rectangles of the screen: each obstacle splits every one it
    // meets into the largest parts left of, right of, above and below it.
    std::vector<QRect> free{available};
    for (const QRect &kept : keepClear.isEmpty() ? QList<QRect>{mainFrame} : keepClear) {
        if (kept.isEmpty())
            continue;
        // An edge near the main window's edge is taken as that edge: the
        // window never covers a sliver of the main window.
        int right = kept.left() + kept.width(), bottom = kept.top() + kept.height();
        if (right <= mainRight && mainRight - right < 32)
            right = mainRight;
        if (bottom <= mainBottom && mainBottom - bottom < 32)
            bottom = mainBottom;
        const QRect obstacle(QPoint(kept.left() - gap, kept.top() - gap), QPoint(right - 1 + gap, bottom - 1 + gap));
        std::vector<QRect> parts;
        for (const QRect &f : free) {
            if (!f.intersects(obstacle)) {
                parts.push_back(f);
                continue;
            }
            if (obstacle.left() > f.left())
                parts.emplace_back(f.topLeft(), QPoint(obstacle.left() - 1, f.bottom()));
            if (obstacle.right() < f.right())
                parts.emplace_back(QPoint(obstacle.right() + 1, f.top()), f.bottomRight());
            if (obstacle.top() > f.top())
                parts.emplace_back(f.topLeft(), QPoint(f.right(), obstacle.top() - 1));
            if (obstacle.bottom() < f.bottom())
                parts.emplace_back(QPoint(f.left(), obstacle.bottom() + 1), f.bottomRight());
        }
        free = std::move(parts);
    }
    // The largest client area of the design's shape, at the top-left corner
    // of its rectangle; of two as large, the one that leaves the main window whole.
    QRect best;
    bool bestCoversMain = true;
    for (const QRect &area : free) {
        const QRect room = area.marginsRemoved(frame);
        if (room.width() < 16 || room.height() < 9)
            continue;
        const double scale = std::min(room.width() / double(kDesign.width()), room.height() / double(kDesign.height()));
        const QRect outer(area.topLeft(), QSize(int(kDesign.width() * scale), int(kDesign.height() * scale)).grownBy(frame));
        const bool coversMain = outer.intersects(mainFrame);
        const int width = outer.width(), bestWidth = best.isEmpty() ? 0 : best.width();
        if (width > bestWidth || (width == bestWidth && bestCoversMain && !coversMain)) {
            best = outer;
            bestCoversMain = coversMain;
        }
    }
    return best;
}

QRectF PlayersDisplay::designRect(const QSize &window)
{
    const double scale = std::min(window.width() / double(kDesign.width()), window.height() / double(kDesign.height()));
    const QSizeF size(kDesign.width() * scale, kDesign.height() * scale);
    return QRectF(QPointF((window.width() - size.width()) / 2, (window.height() - size.height()) / 2), size);
}

namespace {

constexpr QRectF kBallCell(0, 0, 106, 92); // a ball of the board, in design units
constexpr double kRowPitch = 100;

// The column right of the board, in design units: the last ball, the count
// and the prizes in play; with the address for phones, its card at the foot
// and the rest drawn smaller above it.
struct SideLayout {
    QRectF heading;
    int headingFont;
    QPointF lastCentre;
    double lastRadius;
    QRectF countHeading;
    QRectF count;
    int countFont;
    QRectF inPlayHeading;
    double prizesTop;
    double prizeLine;
    int labelFont;  // the three headings
    int prizeFont;
    QRectF phones;  // the card with the QR code and the address
    double qrSize;
};
constexpr double kSideLeft = 1320, kSideWidth = 580;
constexpr SideLayout kSide{QRectF(kSideLeft, 20, kSideWidth, 60), 46, QPointF(1610, 330), 240,
                           QRectF(kSideLeft, 600, kSideWidth, 56),  QRectF(kSideLeft, 650, kSideWidth, 130), 120,
                           QRectF(kSideLeft, 800, kSideWidth, 56),  860, 52, 44, 46, QRectF(), 0};
constexpr SideLayout kSideWithPhones{QRectF(kSideLeft, 12, kSideWidth, 50), 40, QPointF(1610, 245), 170,
                                     QRectF(kSideLeft, 425, kSideWidth, 42),  QRectF(kSideLeft, 465, kSideWidth, 100), 96,
                                     QRectF(kSideLeft, 572, kSideWidth, 40),  614, 44, 36, 38,
                                     QRectF(1300, 812, 610, 260), 180};

QRectF lastBallOf(const SideLayout &side)
{
    return QRectF(side.lastCentre.x() - side.lastRadius, side.lastCentre.y() - side.lastRadius, 2 * side.lastRadius,
                  2 * side.lastRadius);
}

QRectF cellOf(int n) { return PlayersDisplay::ballCell(n); }

} // namespace

QRectF PlayersDisplay::ballCell(int n)
{
    const int row = (n - 1) / 10, column = (n - 1) % 10;
    return QRectF(40 + column * 126, 35 + row * kRowPitch, kBallCell.width(), kBallCell.height());
}

QRectF PlayersDisplay::lastBallArea(bool phones) { return lastBallOf(phones ? kSideWithPhones : kSide); }

QRectF PlayersDisplay::phonesArea() { return kSideWithPhones.phones; }

QRectF PlayersDisplay::qrArea()
{
    const SideLayout &side = kSideWithPhones;
    return QRectF(side.phones.center().x() - side.qrSize / 2, side.phones.top() + 10, side.qrSize, side.qrSize);
}

QRectF PlayersDisplay::addressArea()
{
    const QRectF qr = qrArea(), card = phonesArea();
    return QRectF(card.left() + 3, qr.bottom() + 4, card.width() - 6, card.bottom() - qr.bottom() - 10);
}

int PlayersDisplay::addressPixels(const QSize &window)
{
    // The line of text at least 3 % of the window's height on the screen (its
    // letters, from the top of an h to the foot of a p, a little less than
    // the font's size), in design units.
    const double scale = designRect(window).width() / kDesign.width();
    return std::max(37, int(std::ceil(0.034 * window.height() / scale)));
}

// Under the board, as wide as the board.
QRectF PlayersDisplay::bannerArea() { return QRectF(40, 945, 1240, 115); }

namespace {

// A picture of size design units at scale, painted in design units.
QPixmap picture(const QSizeF &size, double scale, const std::function<void(QPainter &)> &paint)
{
    QPixmap pixmap((size * scale).toSize().expandedTo(QSize(1, 1)));
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    paint(p);
    return pixmap;
}

} // namespace

void PlayersDisplay::prepare(double scale)
{
    const double radius = (m_address.isEmpty() ? kSide : kSideWithPhones).lastRadius;
    if (scale == m_scale && radius == m_lastRadius)
        return;
    m_scale = scale;
    m_lastRadius = radius;
    for (int drawn = 0; drawn < 2; ++drawn)
        for (int n = 1; n <= DrawState::kBalls; ++n)
            m_balls[size_t(drawn)][size_t(n)] = picture(kBallCell.size(), scale, [&](QPainter &p) {
                p.setPen(Qt::NoPen);
                p.setBrush(drawn ? kDrawn : kUndrawn);
                p.drawRoundedRect(kBallCell, 22, 22);
                p.setPen(drawn ? Qt::black : kUndrawnText);
                p.setFont(face(60));
                p.drawText(kBallCell, Qt::AlignCenter, QString::number(n));
            });
    for (int takenBack = 0; takenBack < 2; ++takenBack)
        m_lastBody[size_t(takenBack)] = picture(QSizeF(2 * radius, 2 * radius), scale, [&](QPainter &p) {
            const QPointF centre(radius, radius);
            const QColor colour = takenBack ? QColor(0x55, 0x5F, 0x6E) : QColor(0xD3, 0x2F, 0x2F);
            QRadialGradient body(centre - QPointF(radius * 0.35, radius * 0.4), radius * 1.5);
            body.setColorAt(0, colour.lighter(160));
            body.setColorAt(0.5, colour);
            body.setColorAt(1, colour.darker(250));
            p.setPen(Qt::NoPen);
            p.setBrush(body);
            p.drawEllipse(centre, radius, radius);
            p.setBrush(Qt::white);
            p.drawEllipse(centre, radius * 0.7, radius * 0.7);
        });
}

void PlayersDisplay::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    const QRectF design = designRect(size());
    const double scale = design.width() / kDesign.width();
    prepare(scale);
    // Pictures are placed in device pixels, so they are never scaled again.
    const auto place = [&](const QRectF &r) {
        return QPointF(std::round(design.left() + r.left() * scale), std::round(design.top() + r.top() * scale));
    };
    for (int n = 1; n <= DrawState::kBalls; ++n)
        p.drawPixmap(place(cellOf(n)), m_balls[m_board.drawn[size_t(n)] ? 1 : 0][size_t(n)]);
    const SideLayout &side = m_address.isEmpty() ? kSide : kSideWithPhones;
    const QRectF last = lastBallOf(side);
    p.drawPixmap(place(last), m_lastBody[m_board.lastTakenBack ? 1 : 0]);

    p.translate(design.topLeft());
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The last ball's number, the count and the prizes in play.
    p.setPen(kText);
    p.setFont(face(side.headingFont));
    p.drawText(side.heading, Qt::AlignCenter,
               m_board.lastTakenBack ? QStringLiteral("PEDRA RETIRADA") : QStringLiteral("ÚLTIMA PEDRA"));
    p.setPen(Qt::black);
    p.setFont(face(int(std::lround((m_board.last >= 10 ? 250 : 290) * side.lastRadius / kSide.lastRadius))));
    p.drawText(last, Qt::AlignCenter, m_board.last ? QString::number(m_board.last) : QString());
    p.setPen(kText);
    p.setFont(face(side.labelFont));
    p.drawText(side.countHeading, Qt::AlignCenter, QStringLiteral("PEDRAS SORTEADAS"));
    p.setPen(kDrawn);
    p.setFont(face(side.countFont));
    p.drawText(side.count, Qt::AlignCenter, QString::number(m_board.count));
    p.setPen(kText);
    p.setFont(face(side.labelFont));
    p.drawText(side.inPlayHeading, Qt::AlignCenter, QStringLiteral("EM JOGO"));
    p.setFont(face(side.prizeFont, false));
    const QStringList prizes = m_board.prizesInPlay();
    for (qsizetype i = 0; i < prizes.size(); ++i)
        p.drawText(QRectF(kSideLeft, side.prizesTop + i * side.prizeLine, kSideWidth, side.prizeLine),
                   Qt::AlignCenter, prizes[i]);

    // Where phones follow the draw: a light card of its own at the foot of
    // the column, the QR code above the address, dark and large enough to be
    // read across the hall.
    if (!m_address.isEmpty()) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(side.phones, 16, 16);
        p.save();
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(qrArea(), m_qr);
        p.restore();
        const QRectF box = addressArea();
        QFont font = face(addressPixels(size()));
        for (bool bold : {true, false}) { // the bold face when the address fits in it
            font.setBold(bold);
            if (QFontMetricsF(font).horizontalAdvance(m_address) <= box.width())
                break;
        }
        while (QFontMetricsF(font).horizontalAdvance(m_address) > box.width() && font.pixelSize() > 12)
            font.setPixelSize(font.pixelSize() - 1); // a very tall window: no wider than the card
        p.setPen(kAddress);
        p.setFont(font);
        p.drawText(box, Qt::AlignCenter, m_address);
    }

    // The winners of the last ball, in their own place until the next ball.
    if (!m_board.banner.isEmpty()) {
        const QRectF banner = bannerArea();
        p.setPen(Qt::NoPen);
        p.setBrush(kBanner);
        p.drawRoundedRect(banner, 24, 24);
        QStringList lines = m_board.banner;
        if (lines.size() > 2)
            lines = {lines.first(), QStringLiteral("e mais %1").arg(lines.size() - 1)};
        const double lineHeight = (banner.height() - 10) / lines.size();
        QFont font = face(lines.size() == 1 ? 72 : 46);
        for (const QString &line : lines) // the longest line fits the width
            while (QFontMetricsF(font).horizontalAdvance(line) > banner.width() - 40 && font.pixelSize() > 20)
                font.setPixelSize(font.pixelSize() - 2);
        p.setPen(Qt::white);
        p.setFont(font);
        for (qsizetype i = 0; i < lines.size(); ++i)
            p.drawText(QRectF(banner.left(), banner.top() + 5 + i * lineHeight, banner.width(), lineHeight),
                       Qt::AlignCenter, lines[i]);
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
