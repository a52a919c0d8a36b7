list(APPEND TYPELAB_CORE_SOURCES
  src/maintenance/text_walk.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/maintenance/maintenance_dialogs.cpp
)
