#pragma once
// Which characters of exercise texts were typed wrong, and what was typed instead, counted from
// keystroke logs. The log goes through the typing engine as it went on the Exercise screen, and
// every character the engine drew is seen against the text character of the cell it was drawn
// in: a wrong one that the student took back with Backspace or Delete counts too, though the
// final typed bytes no longer hold it. Enter counts where it was pressed, right on a line end.

#include "exercise/exercise_text.h"
#include "exercise/keystroke_log.h"

#include <QHash>
#include <QList>
#include <QString>

struct CharacterMistakes {
    QString character;                // the text's character: "a", "中", "\r" for a line end
    int typed = 0;                    // characters typed in its cells
    int wrong = 0;                    // ... that were not it
    QHash<QString, int> typedInstead; // what was typed instead, and how often

    double errorRate() const { return typed > 0 ? double(wrong) / typed : 0.0; }
};

class MistakeTally {
public:
    // Adds one exercise: its text and its log (times and ticks play no part).
    void add(const ExerciseText& text, const KeystrokeLog& log);
    // The same for the text of an exercise file (after its header); false when the text
    // cannot be split, and nothing is added.
    bool add(const QByteArray& fileText, ExerciseKind kind, const KeystrokeLog& log);
    void add(const MistakeTally& other);

    int exercises() const { return exercises_; }
    int typed() const { return typed_; }
    int wrong() const { return wrong_; }
    // Every text character typed at least once, by its text.
    const QHash<QString, CharacterMistakes>& characters() const { return characters_; }
    // The characters typed wrong at least once: most mistakes first, then the higher rate, then
    // by their text; at most `limit` of them (all for a negative limit).
    QList<CharacterMistakes> mostOften(int limit = -1) const;

private:
    void count(const QString& expected, const QString& typedText, bool right);

    QHash<QString, CharacterMistakes> characters_;
    int exercises_ = 0;
    int typed_ = 0;
    int wrong_ = 0;
};

// The mistakes of stored results, English and Chinese apart.
struct MistakesByKind {
    MistakeTally english;
    MistakeTally chinese;
    int unusable = 0; // logs or texts that could not be read

    // One stored result: its kind, exercise text and encoded log.
    void add(ExerciseKind kind, const QByteArray& fileText, const QByteArray& encodedLog);
};

namespace Mistakes {

// How a character reads in a list: the space, line ends, Tab and control characters by name.
QString shown(const QString& character);
// What was typed instead, most often first: "大×3、太".
QString typedInsteadText(const CharacterMistakes& mistakes);

} // namespace Mistakes
