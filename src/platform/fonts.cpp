#include "platform/fonts.h"

#include <QFile>
#include <QStringList>

#include <sys/mman.h>

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
    QFont::insertSubstitutions(
        QStringLiteral("楷体_GB2312"),
        {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC")});
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

void releaseMappedFaces()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        // "start-end perms offset dev inode path"; only read-only private file mappings of faces.
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields.at(1) != "r--p")
            continue;
        const QByteArray& path = fields.at(5);
        if (!path.endsWith(".ttc") && !path.endsWith(".ttf") && !path.endsWith(".otf") && !path.endsWith(".otc"))
            continue;
        const QList<QByteArray> range = fields.at(0).split('-');
        if (range.size() != 2)
            continue;
        bool okStart = false, okEnd = false;
        const quintptr start = range.at(0).toULongLong(&okStart, 16);
        const quintptr end = range.at(1).toULongLong(&okEnd, 16);
        if (!okStart || !okEnd || end <= start)
            continue;
        void* at = reinterpret_cast<void*>(start);
        madvise(at, end - start, MADV_RANDOM);
        madvise(at, end - start, MADV_DONTNEED);
    }
}

} // namespace Fonts
