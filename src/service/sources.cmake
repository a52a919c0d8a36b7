# typelab-store's own code: the program does not link it.
set(TYPELAB_SERVICE_SOURCES
  src/service/store_places.cpp
  src/service/password_attempts.cpp
  src/service/log_checks.cpp
  src/service/store_service.cpp
  src/service/store_service_logs.cpp
  src/service/store_adaptor.cpp
)
