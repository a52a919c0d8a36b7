#include "platform/fonts.h"

#include <QStringList>

namespace Fonts {

void registerSubstitutions()
{
    // Each of these draws its Latin letters exactly half as wide as its Chinese characters,
    // which the exercise screen's cells rely on. Noto Sans Mono CJK comes first: at 10.5 pt it
    // tells l, 1, I and | apart, and O from 0, which AR PL UMing does not (an English test
    // would show "Hill 11" as four like strokes).
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("WenQuanYi Zen Hei Mono"),
                                QStringLiteral("AR PL UMing CN")});
    QFont::insertSubstitutions(QStringLiteral("楷体_GB2312"),
                               {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UMing CN"),
                                QStringLiteral("Noto Sans CJK SC")});
}

QFont song(double points)
{
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(points);
    return font;
}

QFont kai(double points)
{
    QFont font(QStringLiteral("楷体_GB2312"));
    font.setPointSizeF(points);
    return font;
}

} // namespace Fonts
