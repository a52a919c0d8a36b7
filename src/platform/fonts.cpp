#include "platform/fonts.h"

#include <QStringList>

namespace Fonts {

void registerSubstitutions()
{
    // AR PL UMing's Latin letters are exactly half as wide as its Chinese characters, which
    // the exercise screen's cells rely on; the others keep that too, in order of preference.
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans Mono CJK SC"),
                                QStringLiteral("WenQuanYi Zen Hei Mono")});
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
