#pragma once

#include <QString>
#include <QVariant>
#include <vector>

namespace bolaris {

// Bytes: raw bytes (a QByteArray), never converted or cut.
enum class FieldType { Integer, String, Bytes };

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0; // maximum characters of a string field
    bool required = false;

    bool operator==(const FieldDef &) const = default;
};

using Row = std::vector<QVariant>;

} // namespace bolaris
