// Draws the main window's background picture (1996 x 1546 pixels) to a PNG.
// Run once; its output is committed as assets/background.png.
//
//     make_background --scale IN.png WIDTH HEIGHT OUT
//
// writes IN.png scaled smoothly to WIDTH x HEIGHT as its bare pixels (32-bit
// RGB, line after line): the build makes the picture at the size the main
// window shows it this way, so that a start neither decodes nor scales.
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

int main(int argc, char *argv[])
{
    if (argc == 6 && qstrcmp(argv[1], "--scale") == 0) {
        const QImage large(QString::fromLocal8Bit(argv[2]));
        const QSize size(QByteArray(argv[3]).toInt(), QByteArray(argv[4]).toInt());
        if (large.isNull() || size.isEmpty())
            return 1;
        const QImage scaled = large.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  .convertToFormat(QImage::Format_RGB32);
        QFile out(QString::fromLocal8Bit(argv[5]));
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        for (int y = 0; y < scaled.height(); ++y)
            if (out.write(reinterpret_cast<const char *>(scaled.constScanLine(y)), qint64(scaled.width()) * 4) !=
                qint64(scaled.width()) * 4)
                return 1;
        return out.flush() ? 0 : 1;
    }
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QImage image(1996, 1546, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, image.height());
    sky.setColorAt(0, QColor(0x0b, 0x3d, 0x2e));
    sky.setColorAt(1, QColor(0x04, 0x1a, 0x14));
    p.fillRect(image.rect(), sky);

    // Light rays from the centre.
    const QPointF centre(image.width() / 2.0, image.height() * 0.44);
    for (int i = 0; i < 36; ++i) {
        QPainterPath ray;
        const double a = i * 2 * M_PI / 36;
        ray.moveTo(centre);
        ray.lineTo(centre + QPointF(3000 * qCos(a - 0.04), 3000 * qSin(a - 0.04)));
        ray.lineTo(centre + QPointF(3000 * qCos(a + 0.04), 3000 * qSin(a + 0.04)));
        p.fillPath(ray, QColor(255, 255, 255, i % 2 ? 10 : 18));
    }

    // A ring of 90 balls in the five column colours of a bingo hall.
    const QColor colours[] = {QColor(0xd6, 0x2f, 0x2f), QColor(0xf2, 0xb1, 0x1b), QColor(0x2e, 0x8b, 0xd8),
                              QColor(0x3c, 0xb3, 0x4a), QColor(0x8e, 0x44, 0xad)};
    QFont number(QStringLiteral("Liberation Sans"));
    number.setBold(true);
    for (int n = 1; n <= 90; ++n) {
        const double ring = n <= 45 ? 640 : 520;
        const double a = (n <= 45 ? n : n - 45) * 2 * M_PI / 45 - M_PI / 2;
        const QPointF c = centre + QPointF(ring * 1.25 * qCos(a), ring * qSin(a));
        const double r = n <= 45 ? 52 : 44;
        QRadialGradient ball(c - QPointF(r / 3, r / 3), r * 1.4);
        ball.setColorAt(0, Qt::white);
        ball.setColorAt(0.25, colours[(n - 1) % 5]);
        ball.setColorAt(1, colours[(n - 1) % 5].darker(220));
        p.setPen(Qt::NoPen);
        p.setBrush(ball);
        p.drawEllipse(c, r, r);
        p.setBrush(QColor(255, 255, 255, 235));
        p.drawEllipse(c, r * 0.55, r * 0.55);
        number.setPixelSize(int(r * 0.6));
        p.setFont(number);
        p.setPen(QColor(0x20, 0x20, 0x20));
        p.drawText(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), Qt::AlignCenter, QString::number(n));
    }

    // A ticket in the middle with the name of the program.
    const QRectF ticket(centre.x() - 430, centre.y() - 190, 860, 380);
    p.setPen(QPen(QColor(0xf2, 0xb1, 0x1b), 10));
    p.setBrush(QColor(0xff, 0xfb, 0xf0));
    p.drawRoundedRect(ticket, 36, 36);
    p.setPen(QPen(QColor(0x0b, 0x3d, 0x2e), 3));
    for (int c = 1; c < 9; ++c)
        p.drawLine(QPointF(ticket.left() + c * ticket.width() / 9, ticket.top() + 200),
                   QPointF(ticket.left() + c * ticket.width() / 9, ticket.bottom() - 20));
    p.drawLine(QPointF(ticket.left() + 20, ticket.top() + 200), QPointF(ticket.right() - 20, ticket.top() + 200));
    QFont title(QStringLiteral("Liberation Sans"));
    title.setBold(true);
    title.setPixelSize(150);
    p.setFont(title);
    p.setPen(QColor(0xd6, 0x2f, 0x2f));
    p.drawText(QRectF(ticket.left(), ticket.top() + 10, ticket.width(), 190), Qt::AlignCenter,
               QStringLiteral("BOLARIS"));
    title.setPixelSize(90);
    p.setFont(title);
    p.setPen(QColor(0x0b, 0x3d, 0x2e));
    p.drawText(QRectF(ticket.left(), ticket.top() + 200, ticket.width(), 180), Qt::AlignCenter,
               QStringLiteral("90 / 15"));
    p.end();
    return image.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
