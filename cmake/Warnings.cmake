# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings are errors in every build of our own code.
set(VERDALINE_WARNINGS -Wall -Wextra -Wpedantic -Werror -Wshadow -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wimplicit-fallthrough -Wno-missing-field-initializers)

# verdaline_library(NAME DIR DEPS...): one library per layer, sources picked up
# from the folder so that adding a file needs no CMake change.
#
# A folder may hold two libraries, a lower one that needs no more than QtCore
# and the rest above it: FILES names the lower one's files (relative to the
# folder), EXCLUDE names files the folder's other library leaves to it.
function(verdaline_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;FILES;EXCLUDE" ${ARGN})
  if(ARG_FILES)
    list(TRANSFORM ARG_FILES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE srcs)
  else()
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
         ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  endif()
  foreach(f IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  list(FILTER srcs EXCLUDE REGEX "/fuzz/")
  # What the operating system does differently lives in NAME_posix.cpp and
  # NAME_win32.cpp beside each other; each build takes its own.
  if(WIN32)
    list(FILTER srcs EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER srcs EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  if(NOT srcs MATCHES "\\.cpp")
    # A layer that has no code yet still builds, so its callers can link.
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${stub} "namespace verdaline_empty_layer {}\n")
    list(APPEND srcs ${stub})
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${VERDALINE_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# verdaline_test(NAME DIR DEPS...): one GoogleTest executable from a folder.
function(verdaline_test name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  add_executable(${name} ${srcs})
  target_compile_options(${name} PRIVATE ${VERDALINE_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    VERDALINE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VERDALINE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "${ARG_LABELS}")
endfunction()
