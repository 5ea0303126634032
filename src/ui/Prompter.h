#pragma once

#include <QString>

namespace bolaris {

enum class MessageIcon { None, Information, Question, Error };

// The program's modal messages: an OK box with a caption, or a Yes/No question
// with a chosen default button. Domain operations talk to the operator through
// this, so the window, the command-line tool and the tests each answer it their way.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual void inform(const QString &caption, const QString &text, MessageIcon icon) = 0;
    virtual bool ask(const QString &caption, const QString &text, bool defaultYes) = 0;
    // An unexpected failure (dataset or file error): the standard error box.
    void error(const QString &text) { inform(QStringLiteral("Bolaris"), text, MessageIcon::Error); }
};

} // namespace bolaris
