list(APPEND TYPELAB_CORE_SOURCES
  src/grades/grade_store.cpp
  src/grades/history_model.cpp
  src/grades/history_pages.cpp
  src/grades/history_filter.cpp
  src/grades/progress_series.cpp
)
list(APPEND TYPELAB_GUI_SOURCES
  src/grades/history_view.cpp
  src/grades/progress_opener.cpp
)
