list(APPEND TYPELAB_GUI_SOURCES
  src/collect/collection_dialogs.cpp
)
