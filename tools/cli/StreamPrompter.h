#pragma once

#include "ui/Prompter.h"

#include <QTextStream>

#include <unistd.h>

namespace bolaris::cli {

// The panel's messages on standard error. A question is answered Sim by
// --yes; otherwise by a line of the input ("s" or "sim" for Sim, "n" or
// "não" for Não), and a blank line, anything else or the end of the input
// (no terminal, a closed pipe) takes the question's default, as Enter and
// Esc do in the program.
class StreamPrompter : public Prompter {
public:
    StreamPrompter(QTextStream &err, bool yes, QTextStream *in = nullptr) : m_err(err), m_in(in), m_yes(yes) {}
    void inform(const QString &caption, const QString &text, MessageIcon) override
    {
        m_err << caption << ": " << text << Qt::endl;
    }
    bool ask(const QString &caption, const QString &text, bool defaultYes) override
    {
        m_err << caption << ": " << text << ' ';
        bool answer = m_yes || defaultYes;
        if (!m_yes && m_in) {
            if (::isatty(STDIN_FILENO))
                m_err << (defaultYes ? "[S/n] " : "[s/N] ") << Qt::flush;
            const QString line = m_in->readLine().trimmed().toLower();
            if (line == QLatin1String("s") || line == QLatin1String("sim"))
                answer = true;
            else if (line == QLatin1String("n") || line == QStringLiteral("não") || line == QLatin1String("nao"))
                answer = false;
        }
        m_err << (answer ? "Sim" : "Não") << Qt::endl;
        return answer;
    }

private:
    QTextStream &m_err;
    QTextStream *m_in;
    bool m_yes;
};

} // namespace bolaris::cli
