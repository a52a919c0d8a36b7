list(APPEND TYPELAB_CORE_SOURCES
  src/collect/collection_store.cpp
  src/collect/score_collection.cpp
  src/collect/merge_collection.cpp
  src/collect/batch_summary.cpp
  src/collect/score_export.cpp
  src/collect/source_frames.cpp
  src/collect/source_read.cpp
  src/collect/network_collection.cpp
  src/collect/server_login.cpp
  src/collect/host_lookup.cpp
  src/collect/server_collection.cpp
  src/collect/live_attempt.cpp
  src/collect/batch_watch.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/collect/input_block.cpp
  src/collect/collection_dialog.cpp
  src/collect/merge_dialog.cpp
  src/collect/export_dialog.cpp
  src/collect/live_attempts_model.cpp
  src/collect/live_window.cpp
)
