list(APPEND TYPELAB_CORE_SOURCES
  src/maintenance/text_walk.cpp
  src/maintenance/file_error_text.cpp
  src/maintenance/atomic_write.cpp
  src/maintenance/exercise_file_view.cpp
  src/maintenance/exercise_file_replacement.cpp
  src/maintenance/help_content.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/maintenance/maintenance_dialogs.cpp
  src/maintenance/password_dialog.cpp
  src/maintenance/clear_history_dialog.cpp
  src/maintenance/show_exercise_file_dialog.cpp
  src/maintenance/replace_exercise_file_dialog.cpp
  src/maintenance/help_viewer.cpp
)
