#pragma once

#include <QString>
#include <stdexcept>

namespace bolaris {

// Raised by the dataset facility; the message is meant for the operator.
class DatasetError : public std::runtime_error {
public:
    enum class Kind {
        Other,       // a wrong use of a dataset (missing field, key violation ...)
        Damaged,     // the file's content is proven wrong: not ours, wrong schema, bad records
        Unavailable, // the file cannot be used now: busy, locked, permission denied, I/O error
        NotWritten,  // a file could not be written; what was there before is untouched
    };

    // message in plain English (the tool's); portuguese, where given, is the
    // same for the program's operator.
    explicit DatasetError(const QString &message, Kind kind = Kind::Other, const QString &portuguese = {},
                          int systemError = 0)
        : std::runtime_error(message.toStdString()), m_message(message), m_kind(kind), m_portuguese(portuguese),
          m_systemError(systemError) {}
    const QString &message() const { return m_message; }
    Kind kind() const { return m_kind; }
    // What the program shows: the Portuguese text when there is one.
    const QString &forOperator() const { return m_portuguese.isEmpty() ? m_message : m_portuguese; }
    // The system's error number behind it, when known (EBUSY for a file another
    // process holds locked, ENOSPC for a full disk); 0 otherwise.
    int systemError() const { return m_systemError; }

private:
    QString m_message;
    Kind m_kind;
    QString m_portuguese;
    int m_systemError = 0;
};

} // namespace bolaris
