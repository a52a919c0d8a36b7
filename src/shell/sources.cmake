list(APPEND TYPELAB_GUI_SOURCES
  src/shell/main_window.cpp
)
