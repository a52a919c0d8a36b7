#pragma once
// The two kinds of exercise, under the numbers they have always had: the menus, the store's
// tables, the bus and the filters all use these. An exercise kind travels as its number;
// stdgrade and the collection files hold it by name ("英文", "中文").

#include <QString>
#include <optional>

enum class ExerciseKind { English = 1, Chinese = 2 };

namespace ExerciseKinds {

// The kind a number stands for, or nothing (a number from the bus or a file is not trusted).
std::optional<ExerciseKind> fromNumber(int number);
// The kind's name as results hold it and the windows show it: "英文" or "中文".
QString name(ExerciseKind kind);
// The kind a result's name stands for, or nothing for a name another tool wrote.
std::optional<ExerciseKind> named(const QString& name);

} // namespace ExerciseKinds
