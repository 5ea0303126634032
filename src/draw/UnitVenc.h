#pragma once

#include <QWidget>

namespace bolaris {

// The winning-tickets window: one object for the whole run, hidden until a
// win is shown.
class TFormVenc : public QWidget {
    Q_OBJECT
public:
    explicit TFormVenc(QWidget *parent = nullptr);
};

} // namespace bolaris
