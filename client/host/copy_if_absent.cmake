# cmake -DSOURCE=<file> -DDESTINATION=<file> -P copy_if_absent.cmake
# Copies a shipped default into the install folder only when the folder has
# none: the program saves its settings over its copy, and a rebuild or a
# re-configure must not throw them away.
if(NOT EXISTS "${DESTINATION}")
  get_filename_component(folder "${DESTINATION}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${SOURCE}" "${DESTINATION}")
endif()
