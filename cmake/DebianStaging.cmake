# Run by CPack on the staged files before it makes the .deb: Debian wants manual pages
# compressed with gzip -9n, while a plain `cmake --install` leaves them as written.
file(GLOB_RECURSE staged_files "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(FILTER staged_files INCLUDE REGEX "/share/man/man[1-9]/[^/]+\\.[1-9]$")
foreach(page IN LISTS staged_files)
  execute_process(COMMAND gzip -9 -n -f "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
