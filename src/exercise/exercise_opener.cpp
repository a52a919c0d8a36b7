#include "exercise/exercise_screen.h"
#include "shell/main_window.h"
#include "shell/program_state.h"
#include "shell/window_openers.h"

#include <QScrollBar>

void startExercise(MainWindow& mainWindow, int type)
{
    ProgramState& state = programState();
    // One exercise at a time.
    if (state.exerciseType != 0 || (type != 1 && type != 2))
        return;
    state.exerciseType = quint8(type);
    auto* screen = new ExerciseScreen(mainWindow, type == 1 ? ExerciseKind::English : ExerciseKind::Chinese);
    // A bad exercise file has been reported and the exercise closed again: nothing to show.
    if (!screen->load())
        return;
    mainWindow.scrollBar()->show();
    screen->showInMainWindow();
}
