# The exercise texts and the help text are kept as UTF-8 sources; the build encodes them in
# code page 936 and frames them as exercise files inside the build's Application folder.
set(TYPELAB_APP_DIR ${CMAKE_BINARY_DIR}/app)
set_target_properties(typelab typelab-admin typelab-reader typelab-store typelab-forward PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TYPELAB_APP_DIR})
set_target_properties(typelab-charts PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${TYPELAB_APP_DIR})

file(GLOB TYPELAB_EN_TEXTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/data/yw/*.txt)
file(GLOB TYPELAB_ZH_TEXTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/data/zw/*.txt)
set(TYPELAB_DATA_FILES)
foreach(source ${TYPELAB_EN_TEXTS} ${TYPELAB_ZH_TEXTS} ${CMAKE_CURRENT_SOURCE_DIR}/data/help.txt)
  if(NOT EXISTS ${source})
    continue()
  endif()
  file(RELATIVE_PATH relative ${CMAKE_CURRENT_SOURCE_DIR}/data ${source})
  string(REGEX REPLACE "\\.txt$" ".dat" relative ${relative})
  if(relative STREQUAL "help.dat")
    set(relative data/help.dat)
  endif()
  set(target ${TYPELAB_APP_DIR}/${relative})
  get_filename_component(target_dir ${target} DIRECTORY)
  add_custom_command(OUTPUT ${target}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${target_dir}
    COMMAND typelab-admin pack ${source} ${target}
    DEPENDS ${source} typelab-admin
    COMMENT "Encoding ${relative}")
  list(APPEND TYPELAB_DATA_FILES ${target})
endforeach()
add_custom_target(typelab_data ALL DEPENDS ${TYPELAB_DATA_FILES})
