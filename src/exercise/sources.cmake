list(APPEND TYPELAB_CORE_SOURCES
  src/exercise/exercise_file_format.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/exercise/exercise_screen.cpp
)
