# The version is written once, in project(). The program, its resources and
# the tests read it from a generated header; the manifest is generated too.
set(QILARK_GENERATED ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/cmake/qilark_version.h.in ${QILARK_GENERATED}/qilark_version.h @ONLY)
if(WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/resources/qi-lark.manifest.in ${QILARK_GENERATED}/qi-lark.manifest @ONLY)
endif()

# Also the include folder of the resource compiler, which finds the manifest there.
add_library(qilark_version INTERFACE)
target_include_directories(qilark_version INTERFACE ${QILARK_GENERATED})

# The resource compiler writes no dependency file: a new version, manifest or
# id must still rebuild the resources of the target in this folder.
function(qilark_resource_depends)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/qi-lark.rc PROPERTIES OBJECT_DEPENDS
    "${QILARK_GENERATED}/qilark_version.h;${QILARK_GENERATED}/qi-lark.manifest;${PROJECT_SOURCE_DIR}/resources/resource_ids.h")
endfunction()
