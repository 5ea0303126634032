#pragma once

#include <QColor>
#include <QFont>
#include <QMargins>
#include <QString>

#include <initializer_list>

class QButtonGroup;
class QFrame;
class QLabel;
class QLineEdit;
class QPoint;
class QPushButton;
class QWidget;

namespace bolaris::ui {

// The toolkit's named colours.
inline const QColor clBlack{0x00, 0x00, 0x00};
inline const QColor clWhite{0xFF, 0xFF, 0xFF};
inline const QColor clRed{0xFF, 0x00, 0x00};
inline const QColor clLime{0x00, 0xFF, 0x00};
inline const QColor clBlue{0x00, 0x00, 0xFF};
inline const QColor clSilver{0xC0, 0xC0, 0xC0};
inline const QColor clMoneyGreen{0xC0, 0xDC, 0xC0};
inline const QColor clCream{0xFF, 0xFB, 0xF0};
QColor clBtnFace();
QColor clWindowText();
QColor clBtnText();

enum Style { Regular = 0, Bold = 1 };

// "MS Sans Serif" at a pixel height; the face is mapped to an installed sans font.
QFont sansFont(int pixels, int style = Regular);
QFont fontOf(const QString &family, int pixels, int style = Regular);

void setBackground(QWidget *widget, const QColor &colour);
void setTextColour(QWidget *widget, const QColor &colour);

QFrame *panel(QWidget *parent, const QString &name, int left, int top, int width, int height, const QColor &colour);
QLabel *label(QWidget *parent, const QString &name, const QString &text, int left, int top, const QFont &font);
QLineEdit *edit(QWidget *parent, const QString &name, int left, int top, int width, int height, const QFont &font);
QPushButton *button(QWidget *parent, const QString &name, const QString &text, int left, int top, int width,
                    int height);
// The small picture of a "button with picture": one of the style's standard icons.
void setPicture(QPushButton *button, int standardPixmap);
// Tab moves through the widgets in this order.
void tabOrder(std::initializer_list<QWidget *> widgets);
// The raised clMoneyGreen-style panel look, in the given colour.
void stylePanel(QFrame *frame, const QColor &colour);
// Narrows the widget's font until its caption fits its width: the stand-in
// for "MS Sans Serif" runs a little wider than the face the forms were laid
// out with.
void condenseToFit(QWidget *widget);
// Puts the top-left corner of a top-level window's frame, title bar included,
// at the point. Call it right after the window is first shown, and do not
// move() the window before: the window manager puts the client area of a
// window moved before it was shown at the point, and its title bar above it,
// off the screen at the top.
void placeFrame(QWidget *window, const QPoint &topLeft);
// The window manager's frame around a top-level window's client area; zero
// while it has none, or while it is being changed.
QMargins frameOf(const QWidget &window);
// Tab stops at the group's selected button only, as at one control; the
// arrow keys move the selection within the group.
void tabToSelected(QButtonGroup *group);
// A caption left of its box ends gap pixels before it, its font narrowed
// where needed.
void fitBefore(QLabel *caption, const QWidget *box, int gap = 5);
// Letters typed into the box become upper case.
void upperCase(QLineEdit *edit);

} // namespace bolaris::ui
