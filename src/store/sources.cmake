list(APPEND TYPELAB_CORE_SOURCES
  src/store/store_types.cpp
  src/store/store_protocol.cpp
  src/store/store_client.cpp
  src/store/store_history.cpp
)
