list(APPEND TYPELAB_CORE_SOURCES
  src/store/store_protocol.cpp
  src/store/store_places.cpp
  src/store/password_attempts.cpp
  src/store/log_checks.cpp
  src/store/store_service.cpp
  src/store/store_adaptor.cpp
  src/store/store_client.cpp
)
