# What students and teachers look at after typing: mistakes, the keyboard picture, a replay.
list(APPEND TYPELAB_GUI_SOURCES
  src/results/keyboard_picture.cpp
  src/results/mistakes_window.cpp
  src/results/replay_window.cpp
)
