#pragma once
// How the student or the supervisor is logged in, under the numbers it always had.

#include <QtGlobal>

enum class LoginMode : quint8 { None = 0, Practice = 1, Test = 2, System = 3 };
