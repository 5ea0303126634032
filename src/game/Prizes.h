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

// The name shown to the hall (players' display, phones, the operator's list).
inline QString shownName(const QString &name)
{
    if (name == kNames[Corners])
        return QStringLiteral("QUATRO CANTOS");
    if (name == kNames[Full])
        return QStringLiteral("CARTELA CHEIA");
    return name;
}

// "23ª pedra (45)": the ball's place in the draw and its number.
inline QString ballText(int order, int ball) { return QStringLiteral("%1ª pedra (%2)").arg(order).arg(ball); }

} // namespace bolaris::prizes
