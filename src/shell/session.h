#pragma once
// The one Session of the program, owned by the main window: which Application folder it runs
// from, how the user is logged in, whom an exercise taken now belongs to, and whether one is
// open. Windows are handed what they need of it when they are built, and report what changed
// through their signals.

#include "exercise/exercise_taker.h"
#include "login/login_mode.h"

#include <QString>

struct Session {
    QString appFolder; // the program's own folder, no trailing separator
    // Set by the login menu item before its dialog opens; it holds even when the dialog is
    // closed without logging in.
    LoginMode loginMode = LoginMode::None;
    // The student the Status panel shows (a system login leaves the last one there) and the
    // batch of the current test login, as the store's session has them.
    ExerciseTaker taker;
    QString storeSession;      // the store's session of the current login; empty before one
    bool supervisor = false;   // that login is the system login
    bool exerciseOpen = false; // one exercise at a time
};
