#include "exercise/us_keyboard.h"

namespace UsKeyboard {

namespace {

struct Row {
    double indent;
    // Pairs of unshifted and shifted characters, one pair per key.
    const char* pairs;
};

QList<KeyboardKey> build()
{
    QList<KeyboardKey> all;
    const auto named = [&all](const char* label, const QString& characters, double left, double width, int row) {
        all.append({QString::fromLatin1(label), characters, left, width, row});
    };
    const Row rows[4] = {{0, "`~1!2@3#4$5%6^7&8*9(0)-_=+"},
                         {1.5, "qQwWeErRtTyYuUiIoOpP[{]}\\|"},
                         {1.75, "aAsSdDfFgGhHjJkKlL;:'\""},
                         {2.25, "zZxXcCvVbBnNmM,<.>/?"}};
    for (int row = 0; row < 4; ++row) {
        if (row == 1)
            named("Tab", QStringLiteral("\t"), 0, 1.5, 1);
        if (row == 2)
            named("Caps", QString(), 0, 1.75, 2);
        if (row == 3)
            named("Shift", QString(), 0, 2.25, 3);
        const QString pairs = QString::fromLatin1(rows[row].pairs);
        double left = rows[row].indent;
        for (int i = 0; i + 1 < pairs.size(); i += 2, left += 1) {
            const QChar plain = pairs[i], shifted = pairs[i + 1];
            const QString label = plain.isLetter() ? QString(shifted) : QStringLiteral("%1 %2").arg(shifted, plain);
            all.append({label, QString(plain) + shifted, left, 1, row});
        }
        if (row == 0)
            named("Backspace", QString(), left, 2, 0);
        if (row == 1)
            all.last().width = 1.5; // the backslash key
        if (row == 2)
            named("Enter", QStringLiteral("\r\n"), left, 2.25, 2);
        if (row == 3)
            named("Shift", QString(), left, 2.75, 3);
    }
    named("Space", QStringLiteral(" "), 3.75, 6.25, 4);
    return all;
}

} // namespace

const QList<KeyboardKey>& keys()
{
    static const QList<KeyboardKey> all = build();
    return all;
}

int keyFor(const QString& character)
{
    if (character.size() != 1)
        return -1;
    const QList<KeyboardKey>& all = keys();
    for (int i = 0; i < all.size(); ++i)
        if (all[i].characters.contains(character[0]))
            return i;
    return -1;
}

QList<KeyRate> rates(const MistakeTally& tally)
{
    QList<KeyRate> perKey(keys().size());
    for (const CharacterMistakes& entry : tally.characters()) {
        const int key = keyFor(entry.character);
        if (key < 0)
            continue;
        perKey[key].typed += entry.typed;
        perKey[key].wrong += entry.wrong;
    }
    return perKey;
}

} // namespace UsKeyboard
