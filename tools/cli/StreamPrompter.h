#pragma once

#include "ui/Prompter.h"

#include <QTextStream>

namespace bolaris::cli {

// The panel's messages on standard error; questions answered by --yes.
class StreamPrompter : public Prompter {
public:
    StreamPrompter(QTextStream &err, bool yes) : m_err(err), m_yes(yes) {}
    void inform(const QString &caption, const QString &text, MessageIcon) override
    {
        m_err << caption << ": " << text << Qt::endl;
    }
    bool ask(const QString &caption, const QString &text, bool) override
    {
        m_err << caption << ": " << text << (m_yes ? " Sim" : " Não") << Qt::endl;
        return m_yes;
    }

private:
    QTextStream &m_err;
    bool m_yes;
};

} // namespace bolaris::cli
