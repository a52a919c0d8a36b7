list(APPEND TYPELAB_GUI_SOURCES
  src/maintenance/maintenance_dialogs.cpp
)
