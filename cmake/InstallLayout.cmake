# Where `cmake --install` puts the recorder (GNUInstallDirs, relative to the
# prefix):
#   bin/TarvexaSoundRecorder              a link to the executable below
#   lib/tarvexa-sound-recorder/           the program folder: the executable,
#                                         the libraries and programs it loads
#                                         by name, components/, External/
#   share/tarvexa-sound-recorder/         its read-only files (Help.html,
#                                         Tips.tip, ...), each with a link in
#                                         the program folder, where the
#                                         recorder looks for it
#   share/applications, share/icons, share/metainfo, share/man
# The recorder tells an installed program folder by its share folder
# (platform/Paths.h IsInstalledProgramFolder) and keeps the user's files in
# the user's data folder then.
include(GNUInstallDirs)

set(TARVEXA_INSTALL_DIR lib/tarvexa-sound-recorder CACHE STRING
    "The program folder: the executable and everything it loads beside it")
set(TARVEXA_SHARE_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/tarvexa-sound-recorder)

file(RELATIVE_PATH _tarvexa_share_from_program
     "/prefix/${TARVEXA_INSTALL_DIR}" "/prefix/${TARVEXA_SHARE_INSTALL_DIR}")
if(IS_ABSOLUTE "${TARVEXA_INSTALL_DIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_DATADIR}"
   OR NOT TARVEXA_INSTALL_DIR MATCHES "^[^/]+/([^/]+/)?tarvexa-sound-recorder$"
   OR NOT _tarvexa_share_from_program MATCHES "^\\.\\./(\\.\\./)?\\.\\./share/tarvexa-sound-recorder$")
  message(FATAL_ERROR "TARVEXA_INSTALL_DIR (${TARVEXA_INSTALL_DIR}) must be a folder named "
          "tarvexa-sound-recorder one or two levels below the prefix, with the data folder "
          "(${CMAKE_INSTALL_DATADIR}) being share/: that is how the recorder knows it is installed.")
endif()

# Installs a link `dir`/`name` (relative to the prefix) that points to
# `target` (relative to the prefix too); the link is relative, so the tree
# can be moved or packaged.
function(tarvexa_install_link dir name target)
  get_filename_component(target_dir "${target}" DIRECTORY)
  get_filename_component(target_name "${target}" NAME)
  file(RELATIVE_PATH rel "/prefix/${dir}" "/prefix/${target_dir}")
  set(link "${CMAKE_BINARY_DIR}/install-links/${dir}/${name}")
  get_filename_component(link_dir "${link}" DIRECTORY)
  file(MAKE_DIRECTORY "${link_dir}")
  file(CREATE_LINK "${rel}/${target_name}" "${link}" SYMBOLIC)
  install(FILES "${link}" DESTINATION "${dir}")
endfunction()

# Installs a read-only file of the recorder into its share folder, with a
# link in the program folder where the recorder reads it.
function(tarvexa_install_beside_program file)
  get_filename_component(name "${file}" NAME)
  install(FILES "${file}" DESTINATION ${TARVEXA_SHARE_INSTALL_DIR})
  tarvexa_install_link(${TARVEXA_INSTALL_DIR} "${name}" "${TARVEXA_SHARE_INSTALL_DIR}/${name}")
endfunction()

# Everything in the build's program folder (build/bin) is part of the
# recorder and is installed by the folder that builds it, next to the
# target (install(TARGETS ...)), except the build's own programs: the
# tests, the benchmarks and their helpers (every target of tests/ and
# bench/), and tools named with tarvexa_not_installed (say, a program that
# makes source files). <build>/not-installed.txt lists those files; the
# install and package tests hold every other file of build/bin against the
# installed program folder, so that a library or program the recorder loads
# cannot be left out of the install unnoticed.
function(tarvexa_not_installed)
  set_property(GLOBAL APPEND PROPERTY TARVEXA_NOT_INSTALLED_TARGETS ${ARGN})
endfunction()

function(_tarvexa_targets_below dir out)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _tarvexa_targets_below("${sub}" sub_targets)
    list(APPEND targets ${sub_targets})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(_tarvexa_write_not_installed)
  _tarvexa_targets_below("${CMAKE_SOURCE_DIR}" all)
  get_property(named GLOBAL PROPERTY TARVEXA_NOT_INSTALLED_TARGETS)
  set(lines "")
  foreach(target IN LISTS all)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
      continue()
    endif()
    get_target_property(source_dir ${target} SOURCE_DIR)
    string(FIND "${source_dir}/" "${CMAKE_SOURCE_DIR}/tests/" in_tests)
    string(FIND "${source_dir}/" "${CMAKE_SOURCE_DIR}/bench/" in_bench)
    if(in_tests EQUAL 0 OR in_bench EQUAL 0 OR target IN_LIST named)
      string(APPEND lines "$<TARGET_FILE:${target}>\n")
    endif()
  endforeach()
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/not-installed.txt" CONTENT "${lines}")
endfunction()
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL _tarvexa_write_not_installed)

# Installs the systemd user unit TEMPLATE (NAME.service.in) as NAME.service
# into share/systemd/user, where the user's service manager looks for a
# prefix of /usr, /usr/local or ~/.local, with @TARVEXA_SCHEDULER_PROGRAM@
# replaced by the absolute path of the installed executable. The path is
# taken when the install runs, so that the package (installed to /usr
# through DESTDIR) names its own, not the configured prefix.
function(tarvexa_install_user_unit template)
  get_filename_component(name "${template}" NAME)
  string(REGEX REPLACE "\\.in$" "" name "${name}")
  install(CODE "
    set(TARVEXA_SCHEDULER_PROGRAM
        \"\${CMAKE_INSTALL_PREFIX}/${TARVEXA_INSTALL_DIR}/TarvexaSoundRecorder\")
    configure_file(\"${template}\" \"${CMAKE_CURRENT_BINARY_DIR}/install-units/${name}\" @ONLY)
    file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/install-units/${name}\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/systemd/user\")")
endfunction()
