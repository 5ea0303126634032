#pragma once

#include <QString>
#include <stdexcept>

namespace bolaris {

// Raised by the dataset facility; the message is meant for the operator.
class DatasetError : public std::runtime_error {
public:
    explicit DatasetError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

} // namespace bolaris
