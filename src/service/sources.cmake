# typelab-store's own code: the program does not link it.
set(TYPELAB_SERVICE_SOURCES
  src/service/store_places.cpp
  src/service/store_database.cpp
  src/service/sessions.cpp
  src/service/password_attempts.cpp
  src/service/logins.cpp
  src/service/log_checks.cpp
  src/service/outbox.cpp
  src/service/school_claims.cpp
  src/service/exercises.cpp
  src/service/result_reads.cpp
  src/service/maintenance.cpp
  src/service/shared_copy.cpp
  src/service/store_service.cpp
  src/service/store_bus_object.cpp
  src/service/outbox_bus_object.cpp
)
