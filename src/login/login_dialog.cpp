#include "shell/window_openers.h"

// The login dialog comes with its own change; until then the login items open nothing.
void openLoginDialog(MainWindow&) {}
