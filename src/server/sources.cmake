# typelab-server's logic: the school server's database, CA and enrolments.
set(TYPELAB_SERVER_SOURCES
  src/server/server_config.cpp
  src/server/server_files.cpp
  src/server/server_names.cpp
  src/server/owner_session.cpp
  src/server/migrations.cpp
  src/server/certificate_authority.cpp
  src/server/hba_block.cpp
  src/server/cluster_control.cpp
  src/server/server_setup.cpp
  src/server/server_enrollment.cpp
)
