# vo_archive(<target> OUTPUT <file.sla> ROOT <dir> [SCRAMBLE] [ALL_FILES] [FILES <files...>])
#
# Builds the program archive <file.sla> at build time with the slarc tool
# from plain-text files below <dir>: each file becomes an entry named by its
# path relative to <dir> ("\" between folder levels). FILES are relative to
# <dir> or absolute; ALL_FILES takes every file below <dir> (sorted, and the
# build is configured again when files come or go). SCRAMBLE stores the
# entries in the scrambled "%SLE" form. The custom target <target> (part of
# ALL) brings the archive up to date when the tool or an input changes.
function(vo_archive target)
  cmake_parse_arguments(A "SCRAMBLE;ALL_FILES" "OUTPUT;ROOT" "FILES" ${ARGN})
  if(NOT A_OUTPUT OR NOT A_ROOT)
    message(FATAL_ERROR "vo_archive(${target}): OUTPUT and ROOT are required")
  endif()
  get_filename_component(root "${A_ROOT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set(inputs "")
  foreach(f ${A_FILES})
    get_filename_component(abs "${f}" ABSOLUTE BASE_DIR "${root}")
    list(APPEND inputs "${abs}")
  endforeach()
  if(A_ALL_FILES)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS LIST_DIRECTORIES false "${root}/*")
    list(SORT found)
    list(APPEND inputs ${found})
  endif()
  list(REMOVE_DUPLICATES inputs)
  if(NOT inputs)
    message(FATAL_ERROR "vo_archive(${target}): no input files")
  endif()
  set(flags "")
  if(A_SCRAMBLE)
    set(flags --scramble)
  endif()
  get_filename_component(out "${A_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND slarc-cli "${out}" --root "${root}" ${flags} ${inputs}
    DEPENDS slarc-cli ${inputs}
    COMMENT "Archive ${out}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${out}")
endfunction()
