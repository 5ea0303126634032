#pragma once

#include <QString>

namespace bolaris::prizes {

// The prizes as the scan names them, in the order a ticket's are announced.
enum Prize { Corners, Row, TwoRows, Full };
inline const QString kNames[4] = {QStringLiteral("CANTOS"), QStringLiteral("LINHA"), QStringLiteral("2 LINHAS"),
                                  QStringLiteral("CARTAO")};

// The prize of a name, -1 for none.
inline int indexOf(const QString &name)
{
    for (int i = 0; i < 4; ++i)
        if (name == kNames[i])
            return i;
    return -1;
}

} // namespace bolaris::prizes
