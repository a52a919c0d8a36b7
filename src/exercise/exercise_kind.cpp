#include "exercise/exercise_kind.h"

namespace ExerciseKinds {

std::optional<ExerciseKind> fromNumber(int number)
{
    if (number == int(ExerciseKind::English) || number == int(ExerciseKind::Chinese))
        return ExerciseKind(number);
    return std::nullopt;
}

QString name(ExerciseKind kind)
{
    return kind == ExerciseKind::English ? QStringLiteral("英文") : QStringLiteral("中文");
}

std::optional<ExerciseKind> named(const QString& text)
{
    for (const ExerciseKind kind : {ExerciseKind::English, ExerciseKind::Chinese})
        if (text == name(kind))
            return kind;
    return std::nullopt;
}

} // namespace ExerciseKinds
