list(APPEND TYPELAB_CORE_SOURCES
  src/exercise/exercise_kind.cpp
  src/exercise/exercise_file_format.cpp
  src/exercise/exercise_loader.cpp
  src/exercise/key_codes.cpp
  src/exercise/scoring.cpp
  src/exercise/keystroke_log.cpp
  src/exercise/exercise_replay.cpp
  src/exercise/mistakes.cpp
  src/exercise/replay_pace.cpp
  src/exercise/us_keyboard.cpp
  src/exercise/typed_state.cpp
  src/exercise/typing_engine.cpp
  src/exercise/typing_keys.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/exercise/exercise_screen.cpp
  src/exercise/cell_image.cpp
  src/exercise/exercise_opener.cpp
  src/exercise/status_panel.cpp
  src/exercise/exercise_stage.cpp
)
