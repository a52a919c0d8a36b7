list(APPEND TYPELAB_GUI_SOURCES
  src/shell/main_window.cpp
  src/shell/grade_database_check.cpp
  src/shell/status_panel.cpp
)
