#pragma once

#include "game/DisplayBoard.h"

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <array>

class QScreen;

namespace bolaris {

// The players' display ("Telão"): the draw for the hall on a second screen or
// a projector. It only shows what it is given; no input of it reaches the draw.
// Everything is laid out on a 1920 x 1080 design and scaled evenly to the
// window, centred, so any screen shows it undistorted.
class PlayersDisplay : public QWidget {
    Q_OBJECT
public:
    explicit PlayersDisplay(QWidget *parent = nullptr);

    void setBoard(const DisplayBoard &board);
    const DisplayBoard &board() const { return m_board; }
    // The address where phones follow the draw, shown with its QR code; empty hides both.
    void setAddress(const QString &address);
    const QString &address() const { return m_address; }

    // Full screen on a screen other than the main window's; on the only
    // screen, a window kept in front of the main window, at the largest size
    // that fits beside or below what the operator uses (keepClear, in screen
    // coordinates: the controls, the board in a manual draw, the prizes
    // window), which it never covers. Either way it leaves the keyboard
    // where it is.
    void openBeside(const QWidget &mainWindow, const QList<QRect> &keepClear = {});
    // What the operator uses has moved or grown (a manual draw makes the
    // board part of it): on the only screen the window takes its place again.
    void keepClearOf(const QList<QRect> &keepClear);
    // The frame of the window on the main window's screen: the largest
    // window of the design's shape in a rectangle of available that meets
    // none of keepClear (the main window when keepClear is empty), at its
    // top-left corner; frame is the window manager's frame around it.
    static QRect placeOnScreen(const QRect &mainFrame, const QList<QRect> &keepClear, const QRect &available,
                               const QMargins &frame);

    static constexpr QSize kDesign{1920, 1080};
    // Where the design lies in a window of the given size.
    static QRectF designRect(const QSize &window);
    // In design units: a ball of the board, the last ball, and the place of
    // the winners' banner, which covers neither.
    static QRectF ballCell(int n);
    static QRectF lastBallArea(bool phones = false); // phones: with the address shown
    static QRectF bannerArea();
    // With the address shown: its light card, and in it the QR code and the address.
    static QRectF phonesArea();
    static QRectF qrArea();
    static QRectF addressArea();
    // The address's font size in design units for a window: at least 3 % of
    // the window's height on the screen, letterbox included.
    static int addressPixels(const QSize &window);

Q_SIGNALS:
    void closed(); // by the window's close box or Esc

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The pictures painted again and again, made once per window size: each
    // ball of the board, drawn and not drawn, and the body of the last ball.
    void prepare(double scale);

    DisplayBoard m_board;
    double m_scale = 0;
    double m_lastRadius = 0;
    std::array<std::array<QPixmap, DrawState::kBalls + 1>, 2> m_balls;
    std::array<QPixmap, 2> m_lastBody; // drawn, taken back
    QString m_address;
    QImage m_qr;
    // Where it was placed on the main window's screen, to place it again.
    QPointer<const QWidget> m_mainWindow;
    QList<QRect> m_keepClear;
    QMargins m_placedWith; // the frame the last placement counted with
    static constexpr int kMostReplacements = 4;
    int m_replacements = 0; // placed again by settle() since the last placement asked for
    bool m_settling = false;
    void placeOnMainScreen();
    void settle();
};

} // namespace bolaris
