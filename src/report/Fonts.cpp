#include "Fonts.h"

#include <QFont>
#include <QStringList>

namespace bolaris {

void installFontSubstitutes()
{
    const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")};
    const QStringList mono = {QStringLiteral("Liberation Mono"), QStringLiteral("Cousine")};
    QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitutions(QStringLiteral("Courier New"), mono);
    QFont::insertSubstitutions(QStringLiteral("Courier"), mono);
    QFont::insertSubstitutions(QStringLiteral("Impact"), {QStringLiteral("Bebas Neue")});
}

QFont::Weight printWeight(const QString &family, bool bold)
{
    if (bold || family.compare(QLatin1String("Impact"), Qt::CaseInsensitive) == 0)
        return QFont::Bold;
    return QFont::Normal;
}

} // namespace bolaris
