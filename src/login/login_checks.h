#pragma once
// The field checks of the login dialog, without the dialog: each tells which message to show
// and which box to select, or nothing when the fields pass. The first failing check wins.

#include "login/login_mode.h"

#include <QString>
#include <optional>

// A refused field: the message, the box it concerns and how the dialog marks that box.
struct LoginFault {
    QString message;
    int box = 0;
    int selectLength = 0;  // characters selected from the first; 0 leaves the selection alone
    bool moveFocus = true; // false: the box is selected but the focus stays where it is
};

// What Enter in a box leads to once the box's own check has passed.
enum class EnterStep { Nothing, FocusNextBox, Confirm };

struct EnterOutcome {
    std::optional<LoginFault> fault;
    EnterStep next = EnterStep::Nothing;
};

namespace LoginChecks {

// Confirm, practice login: student number and name.
std::optional<LoginFault> practiceFields(const QString& number, const QString& name);
// Confirm, test login: a student number of exactly ten single-byte characters, a name and a
// single-byte batch number.
std::optional<LoginFault> testFields(const QString& number, const QString& name, const QString& batch);
// Confirm, test login again in the same batch: the second-login password box.
std::optional<LoginFault> secondLoginPassword(const QString& password);
// Confirm, system login: user name and password.
std::optional<LoginFault> systemFields(const QString& userName, const QString& password);

// Enter in box 0..3 under a Login mode, with the box's text.
EnterOutcome enterInBox(int box, LoginMode loginMode, const QString& text);

} // namespace LoginChecks
