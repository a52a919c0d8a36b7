#include "exercise/mistakes.h"

#include "exercise/quiet_host.h"
#include "exercise/typing_engine.h"
#include "platform/codepage.h"

#include <algorithm>

namespace {

struct Drawn {
    int line = 0;
    int column = 0;
    QString text;
    bool right = false;
};

// Keeps what the engine draws during one event.
class RecordingCanvas : public CellCanvas {
public:
    QList<Drawn> drawn;

    void drawChar(int line, int column, quint8 lead, quint8 trail, bool doubleByte, QColor colour) override
    {
        QString text;
        if (doubleByte && lead == 0xFF && trail == 0xFF)
            text = QString(QChar::ReplacementCharacter); // a character code page 936 cannot hold
        else
            text = doubleByte ? CodePage::charText(lead, trail) : singleByteText(lead);
        drawn.append({line, column, text, colour == TypingEngine::rightColour});
    }
    void blank(int, int, int) override {}

    static QString singleByteText(quint8 byte) { return byte < 0x80 ? QString(QChar(byte)) : CodePage::charText(byte); }
};

// The text character whose cells cover each position: its first position, or -1 past the text.
QList<int> characterStarts(const ExerciseText& text)
{
    QList<int> starts(ExerciseText::kPositions, -1);
    for (int p = 0; p < text.textLength;) {
        const bool wide = text.byteAt(p) >= 0x80 && p + 1 < text.textLength;
        starts[p] = p;
        if (wide)
            starts[p + 1] = p;
        p += wide ? 2 : 1;
    }
    return starts;
}

QString characterAt(const ExerciseText& text, int start)
{
    const quint8 byte = text.byteAt(start);
    return byte >= 0x80 ? CodePage::charText(byte, text.byteAt(start + 1)) : RecordingCanvas::singleByteText(byte);
}

} // namespace

void MistakeTally::count(const QString& expected, const QString& typedText, bool right)
{
    CharacterMistakes& entry = characters_[expected];
    entry.character = expected;
    ++entry.typed;
    ++typed_;
    if (right)
        return;
    ++entry.wrong;
    ++wrong_;
    ++entry.typedInstead[typedText];
}

void MistakeTally::add(const ExerciseText& text, const KeystrokeLog& log)
{
    RecordingCanvas canvas;
    QuietHost host;
    TypingEngine engine(text, canvas, host);
    const QList<int> starts = characterStarts(text);
    const auto startAt = [&starts](int p) { return p >= 0 && p < starts.size() ? starts[p] : -1; };

    for (const KeystrokeEvent& event : log) {
        if (event.kind == KeystrokeEvent::Kind::KeyDown) {
            engine.keyDown(event.value);
            continue;
        }
        if (event.kind != KeystrokeEvent::Kind::Character || engine.endedByEsc())
            continue;
        if (event.value == 13) {
            // Enter types its 13 into the cursor's cell, on a line that has cells.
            const int line = engine.currentLine();
            const int start = startAt(engine.cursorPosition());
            const bool hasCells = text.lineTable[line].length > 0;
            engine.character(event.value);
            if (hasCells && start >= 0)
                count(characterAt(text, start), QStringLiteral("\r"), text.byteAt(start) == 13);
            continue;
        }
        canvas.drawn.clear();
        engine.character(event.value);
        for (const Drawn& drawn : std::as_const(canvas.drawn)) {
            const int start = startAt(text.lineTable[drawn.line].start + drawn.column);
            if (start >= 0)
                count(characterAt(text, start), drawn.text, drawn.right);
        }
    }
    ++exercises_;
}

bool MistakeTally::add(const QByteArray& fileText, ExerciseKind kind, const KeystrokeLog& log)
{
    const std::optional<ExerciseText> text = ExerciseLoader::fromText(fileText, kind);
    if (!text)
        return false;
    add(*text, log);
    return true;
}

void MistakeTally::add(const MistakeTally& other)
{
    for (const CharacterMistakes& theirs : other.characters_) {
        CharacterMistakes& ours = characters_[theirs.character];
        ours.character = theirs.character;
        ours.typed += theirs.typed;
        ours.wrong += theirs.wrong;
        for (auto it = theirs.typedInstead.cbegin(); it != theirs.typedInstead.cend(); ++it)
            ours.typedInstead[it.key()] += it.value();
    }
    exercises_ += other.exercises_;
    typed_ += other.typed_;
    wrong_ += other.wrong_;
}

QList<CharacterMistakes> MistakeTally::mostOften(int limit) const
{
    QList<CharacterMistakes> list;
    for (const CharacterMistakes& entry : characters_)
        if (entry.wrong > 0)
            list.append(entry);
    std::sort(list.begin(), list.end(), [](const CharacterMistakes& a, const CharacterMistakes& b) {
        if (a.wrong != b.wrong)
            return a.wrong > b.wrong;
        // Compared as fractions, so equal rates tie exactly.
        const qint64 left = qint64(a.wrong) * b.typed, right = qint64(b.wrong) * a.typed;
        if (left != right)
            return left > right;
        return a.character < b.character;
    });
    if (limit >= 0 && list.size() > limit)
        list.resize(limit);
    return list;
}

void MistakesByKind::add(ExerciseKind kind, const QByteArray& fileText, const QByteArray& encodedLog)
{
    const std::optional<KeystrokeLog> log = KeystrokeLogs::decode(encodedLog);
    const bool known = ExerciseKinds::fromNumber(int(kind)).has_value();
    MistakeTally& tally = kind == ExerciseKind::English ? english : chinese;
    if (!log || !known || !tally.add(fileText, kind, *log))
        ++unusable;
}

namespace Mistakes {

QString shown(const QString& character)
{
    if (character == QLatin1String(" "))
        return QStringLiteral("空格");
    if (character == QLatin1String("\r"))
        return QStringLiteral("回车");
    if (character == QLatin1String("\n"))
        return QStringLiteral("换行");
    if (character == QLatin1String("\t"))
        return QStringLiteral("Tab");
    if (character == QString(QChar::ReplacementCharacter))
        return QStringLiteral("非汉字编码字符");
    if (character.size() == 1 && character[0].unicode() < 32)
        return QStringLiteral("Ctrl+%1").arg(QChar(character[0].unicode() + 64));
    return character;
}

QString typedInsteadText(const CharacterMistakes& mistakes)
{
    QList<std::pair<QString, int>> instead;
    for (auto it = mistakes.typedInstead.cbegin(); it != mistakes.typedInstead.cend(); ++it)
        instead.append({it.key(), it.value()});
    std::sort(instead.begin(), instead.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    QStringList parts;
    for (const auto& [text, times] : instead)
        parts << (times > 1 ? QStringLiteral("%1×%2").arg(shown(text)).arg(times) : shown(text));
    return parts.join(QStringLiteral("、"));
}

} // namespace Mistakes
