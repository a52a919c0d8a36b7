# What a lab machine and the school server say to each other, and the sending of it.
list(APPEND TYPELAB_CORE_SOURCES
  src/school/server_result.cpp
  src/school/bundle.cpp
  src/school/result_sender.cpp
  src/school/forwarder.cpp
)
