# Staging of the distribution folder and its ZIP, included by setup/CMakeLists.txt after the
# lists TAVIRO_DIST_TARGETS, TAVIRO_DIST_HELP and TAVIRO_DIST_RUNTIME are complete.
#
# The staging is set up at the end of the top-level directory, once every folder has defined its
# targets: the recorder, the player and the codec may come after setup/ in the tree.

list(REMOVE_DUPLICATES TAVIRO_DIST_TARGETS)
set_property(GLOBAL PROPERTY TAVIRO_DIST_TARGETS ${TAVIRO_DIST_TARGETS})
set_property(GLOBAL PROPERTY TAVIRO_DIST_HELP ${TAVIRO_DIST_HELP})
set_property(GLOBAL PROPERTY TAVIRO_DIST_RUNTIME ${TAVIRO_DIST_RUNTIME})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TAVIRO_DIST_ZIP ${CMAKE_BINARY_DIR}/taviro-win64.zip CACHE INTERNAL "")
else()
  set(TAVIRO_DIST_ZIP ${CMAKE_BINARY_DIR}/taviro-win32.zip CACHE INTERNAL "")
endif()
# What the distribution must hold, one entry a line: "target NAME" per deliverable, "file PATH"
# per other file (relative to the folder). Read by tests/dist_check.sh.
set(TAVIRO_DIST_MANIFEST ${CMAKE_BINARY_DIR}/dist-deliverables.txt CACHE INTERNAL "")

function(taviro_stage_dist)
  get_property(targets GLOBAL PROPERTY TAVIRO_DIST_TARGETS)
  get_property(help GLOBAL PROPERTY TAVIRO_DIST_HELP)
  get_property(runtime GLOBAL PROPERTY TAVIRO_DIST_RUNTIME)
  set(manifest "")
  set(commands "")
  set(built "")
  set(entries "")  # what the ZIP holds, relative to the folder
  foreach(t IN LISTS targets)
    string(APPEND manifest "target ${t}\n")
    if(TARGET ${t})
      list(APPEND built ${t})
      list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${t}>
           ${TAVIRO_DIST_DIR}/)
      list(APPEND entries $<TARGET_FILE_NAME:${t}>)
    else()
      message(STATUS "Distribution: ${t} is not built by this tree; dist_contents_test will "
                     "fail until it is")
    endif()
  endforeach()
  foreach(f IN LISTS help)
    get_filename_component(name ${f} NAME)
    string(APPEND manifest "file help/${name}\n")
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy ${f} ${TAVIRO_DIST_DIR}/help/)
  endforeach()
  list(APPEND entries help)
  foreach(f IN LISTS runtime)
    get_filename_component(name ${f} NAME)
    string(APPEND manifest "file ${name}\n")
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy ${f} ${TAVIRO_DIST_DIR}/)
    list(APPEND entries ${name})
  endforeach()
  file(WRITE ${TAVIRO_DIST_MANIFEST} "${manifest}")

  add_custom_target(dist ALL
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${TAVIRO_DIST_DIR} ${TAVIRO_DIST_ZIP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVIRO_DIST_DIR}/help
    ${commands}
    # The ZIP holds the folder's content without the folder: unpacking it somewhere gives the
    # programs and help\ side by side, ready for TaviroSetup.exe.
    COMMAND ${CMAKE_COMMAND} -E chdir ${TAVIRO_DIST_DIR}
            ${CMAKE_COMMAND} -E tar cf ${TAVIRO_DIST_ZIP} --format=zip ${entries}
    COMMENT "Staging the distribution folder and its ZIP"
    VERBATIM)
  if(built)
    add_dependencies(dist ${built})
  endif()
endfunction()

cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL taviro_stage_dist)
