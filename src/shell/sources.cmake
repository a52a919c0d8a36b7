list(APPEND TYPELAB_CORE_SOURCES
  src/shell/program_state.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/shell/shared_routines.cpp
  src/shell/main_window.cpp
  src/shell/grade_database_check.cpp
  src/shell/status_panel.cpp
)
