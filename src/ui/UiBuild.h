#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <initializer_list>

class QFrame;
class QLabel;
class QLineEdit;
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
// Letters typed into the box become upper case.
void upperCase(QLineEdit *edit);

} // namespace bolaris::ui
