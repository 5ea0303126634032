#pragma once

#include <QString>

class QWidget;

namespace bolaris {

class Prompter;

// Installs ball media into the working folder when the operator asks for it.
class MediaInstaller {
public:
    virtual ~MediaInstaller() = default;
    // parts: MediaMaker::Part flags.
    virtual void install(const QString &dir, int parts) = 0;
};

// Makes the files on a worker thread behind a progress dialog with
// "Cancelar"; a failure is told through the prompter.
class DialogMediaInstaller : public MediaInstaller {
public:
    DialogMediaInstaller(QWidget *parent, Prompter &prompter) : m_parent(parent), m_prompter(prompter) {}
    void install(const QString &dir, int parts) override;

    // The operator's message for a maker's failure; empty when there was none.
    static QString failureText(int parts, int status, const QString &file, const QString &reason, int code);

private:
    QWidget *m_parent;
    Prompter &m_prompter;
};

} // namespace bolaris
