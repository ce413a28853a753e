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
