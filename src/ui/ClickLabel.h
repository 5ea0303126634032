#pragma once

#include <QLabel>

namespace bolaris {

// A captioned panel or label that reports a click (a press and a release of
// the left button over it), as panels and labels of the program's forms do.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};

} // namespace bolaris
