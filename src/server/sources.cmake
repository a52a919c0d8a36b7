# typelab-server's logic: the school server's database, CA and enrolments, and the verifier.
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
  src/server/plausibility.cpp
  src/server/result_check.cpp
  src/server/verifier.cpp
  src/server/verify_command.cpp
  # The store's check of a log's countdown: the verifier judges a log as the machine's store does.
  src/service/log_checks.cpp
)
