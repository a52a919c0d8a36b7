list(APPEND TYPELAB_CORE_SOURCES
  src/shell/program_state.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/shell/shared_routines.cpp
  src/shell/main_window.cpp
  src/shell/status_panel.cpp
)
