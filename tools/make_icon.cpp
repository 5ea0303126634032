// Draws the program's icon for the desktop's icon theme:
// DIR/hicolor/NxN/apps/bolaris.png at every size the menus and docks ask for.
// Run at build time; the package installs what it writes.
#include "draw/MediaMaker.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRadialGradient>

#include <cstdio>

using bolaris::MediaMaker;

namespace {

// The design is drawn on a 256 x 256 canvas. Below 48 pixels the ticket's
// grid and the number would be mush, so the small icons keep the shapes only.
void paintIcon(QPainter &p, int size)
{
    const bool small = size < 48;
    p.scale(size / 256.0, size / 256.0);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // A cream ticket with a 3 x 9 grid, tilted, in the colours of the main window.
    const QColor green(0x0b, 0x3d, 0x2e);
    const QColor gold(0xf2, 0xb1, 0x1b);
    p.save();
    p.translate(112, 100);
    p.rotate(-12);
    const QRectF ticket(-100, -64, 200, 128);
    p.setPen(QPen(gold, small ? 14 : 8));
    p.setBrush(QColor(0xff, 0xfb, 0xf0));
    p.drawRoundedRect(ticket, 16, 16);
    if (!small) {
        const QRectF grid = ticket.adjusted(14, 14, -14, -14);
        p.setPen(Qt::NoPen);
        p.setBrush(green);
        // The numbers of one ticket: five a row, never two rows alike.
        static const int places[3][5] = {{0, 2, 3, 5, 7}, {1, 2, 4, 6, 8}, {0, 3, 4, 6, 7}};
        const double w = grid.width() / 9;
        const double h = grid.height() / 3;
        for (int row = 0; row < 3; ++row)
            for (int col : places[row])
                p.drawEllipse(QPointF(grid.left() + (col + 0.5) * w, grid.top() + (row + 0.5) * h), w * 0.36,
                              w * 0.36);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(green);
        p.drawRect(ticket.adjusted(22, 30, -22, -30));
    }
    p.restore();

    // A red ball of the draw with 90 on it, over its shadow.
    const QPointF centre(164, 164);
    const double radius = 84;
    const QColor red(0xd3, 0x2f, 0x2f);
    QRadialGradient shadow(centre + QPointF(6, 10), radius * 1.08);
    shadow.setColorAt(0.85, QColor(0, 0, 0, 90));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(centre + QPointF(6, 10), radius * 1.08, radius * 1.08);

    MediaMaker::paintBall(p, centre, radius, red, small ? QString() : QStringLiteral("90"));
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: make_icon DIR\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString dir = out.filePath(QStringLiteral("hicolor/%1x%1/apps").arg(size));
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        paintIcon(p, size);
        p.end();
        const QString file = QDir(dir).filePath(QStringLiteral("bolaris.png"));
        if (!QDir().mkpath(dir) || !image.save(file)) {
            std::fprintf(stderr, "make_icon: could not write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
