# What a lab machine and the school server say to each other, and the sending of it.
list(APPEND TYPELAB_CORE_SOURCES
  src/school/server_result.cpp
  src/school/server_notes.cpp
  src/school/bundle.cpp
  src/school/server_statements.cpp
  src/school/entry_sender.cpp
  src/school/claim_asker.cpp
  src/school/forwarder.cpp
)
