#include "UiBuild.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QWindow>

namespace bolaris::ui {

QColor clBtnFace() { return QApplication::palette().color(QPalette::Button); }
QColor clWindowText() { return QApplication::palette().color(QPalette::WindowText); }
QColor clBtnText() { return QApplication::palette().color(QPalette::ButtonText); }

QFont fontOf(const QString &family, int pixels, int style)
{
    QFont f(family);
    f.setPixelSize(pixels);
    f.setBold(style & Bold);
    return f;
}

QFont sansFont(int pixels, int style) { return fontOf(QStringLiteral("MS Sans Serif"), pixels, style); }

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::Base, colour);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    p.setColor(QPalette::ButtonText, colour);
    widget->setPalette(p);
}

QFrame *panel(QWidget *parent, const QString &name, int left, int top, int width, int height, const QColor &colour)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setGeometry(left, top, width, height);
    stylePanel(frame, colour);
    return frame;
}

void stylePanel(QFrame *frame, const QColor &colour)
{
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Raised);
    setBackground(frame, colour);
}

void tabOrder(std::initializer_list<QWidget *> widgets)
{
    for (auto it = widgets.begin(); it != widgets.end() && it + 1 != widgets.end(); ++it)
        QWidget::setTabOrder(*it, *(it + 1));
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, int left, int top, const QFont &font)
{
    auto *l = new QLabel(text, parent);
    if (!name.isEmpty())
        l->setObjectName(name);
    l->setFont(font);
    l->move(left, top);
    l->adjustSize();
    return l;
}

QLineEdit *edit(QWidget *parent, const QString &name, int left, int top, int width, int height, const QFont &font)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setFont(font);
    e->setGeometry(left, top, width, height);
    return e;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &text, int left, int top, int width,
                    int height)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(left, top, width, height);
    b->setAutoDefault(false);
    return b;
}

void setPicture(QPushButton *button, int standardPixmap)
{
    button->setIcon(button->style()->standardIcon(QStyle::StandardPixmap(standardPixmap)));
}

void condenseToFit(QWidget *widget)
{
    QFont f = widget->font();
    for (int stretch = 100; stretch >= 75 && widget->sizeHint().width() > widget->width(); stretch -= 5) {
        f.setStretch(stretch);
        widget->setFont(f);
    }
}

void tabToSelected(QButtonGroup *group)
{
    auto update = [group] {
        for (QAbstractButton *b : group->buttons())
            b->setFocusPolicy(b->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    QObject::connect(group, &QButtonGroup::buttonToggled, group, update);
    update();
}

void fitBefore(QLabel *caption, const QWidget *box, int gap)
{
    caption->resize(box->x() - gap - caption->x(), caption->height());
    condenseToFit(caption);
}

void placeFrame(QWidget *window, const QPoint &topLeft)
{
    if (QWindow *handle = window->windowHandle())
        handle->setFramePosition(topLeft);
    else
        window->move(topLeft);
}

QMargins frameOf(const QWidget &window)
{
    const QRect outer = window.frameGeometry(), inner = window.geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    // While the window manager resizes a window the two can disagree for a
    // moment (a client area larger than its frame): no frame is known then.
    constexpr int kMost = 200;
    const auto plausible = [](int side) { return side >= 0 && side <= kMost; };
    if (!plausible(frame.left()) || !plausible(frame.top()) || !plausible(frame.right()) || !plausible(frame.bottom()))
        return {};
    return frame;
}

void upperCase(QLineEdit *edit)
{
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString &text) {
        const QString upper = text.toUpper();
        if (upper != text) {
            const int cursor = edit->cursorPosition();
            edit->setText(upper);
            edit->setCursorPosition(cursor);
        }
    });
}

} // namespace bolaris::ui
