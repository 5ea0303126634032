#pragma once

#include <QObject>

namespace bolaris {

// A banded report form: one object per print layout for the whole run.
class ReportForm : public QObject {
    Q_OBJECT
public:
    explicit ReportForm(const QString &name, QObject *parent = nullptr) : QObject(parent) { setObjectName(name); }
};

} // namespace bolaris
