list(APPEND TYPELAB_CORE_SOURCES
  src/login/login_checks.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/login/login_dialog.cpp
)
