#include "ClickLabel.h"

#include <QMouseEvent>

namespace bolaris {

void ClickLabel::mousePressEvent(QMouseEvent *event)
{
    // Accepted, so that the release comes here too.
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        Q_EMIT clicked();
}

} // namespace bolaris
