list(APPEND TYPELAB_CORE_SOURCES
  src/platform/database.cpp
  src/platform/schema_reader.cpp
  src/platform/key_derivation.cpp
  src/platform/codepage.cpp
  src/platform/byte_length.cpp
  src/platform/paths.cpp
  src/platform/clock.cpp
  src/platform/twips.cpp
  src/platform/child_process.cpp
  src/platform/startup_trace.cpp
  src/platform/postgres.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/platform/display_mode.cpp
  src/platform/message_box.cpp
  src/platform/no_right_click.cpp
  src/platform/fonts.cpp
  src/platform/signal_guard.cpp
  src/platform/file_chooser.cpp
  src/platform/input_method.cpp
)
