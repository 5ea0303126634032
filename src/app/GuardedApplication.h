#pragma once

#include <QApplication>

namespace bolaris {

class Prompter;

// The program's application object: a file fault raised inside any slot or
// event handler is shown to the operator instead of ending the program.
class GuardedApplication : public QApplication {
public:
    GuardedApplication(int &argc, char **argv) : QApplication(argc, argv) {}
    void setPrompter(Prompter *prompter) { m_prompter = prompter; }
    bool notify(QObject *receiver, QEvent *event) override;

private:
    Prompter *m_prompter = nullptr;
};

} // namespace bolaris
