list(APPEND TYPELAB_GUI_SOURCES
  src/login/login_dialog.cpp
)
