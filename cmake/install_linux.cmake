# Finishes an installation in one folder, <prefix>/lib/brindlequillworth:
#  - link.txt from the chosen template, unless one is there already, so that
#    the user's choice survives an update;
#  - the desktop entry, naming the handler by its installed path;
#  - the preview tool on <prefix>/bin, as a link into the folder (the tools
#    find link.txt beside the file they really are).
# Set before it runs: bqw_source (the source tree) and bqw_template.

set(folder "${CMAKE_INSTALL_PREFIX}/lib/brindlequillworth")
set(staged "$ENV{DESTDIR}${folder}")

if(EXISTS "${staged}/link.txt")
  message(STATUS "Kept: ${staged}/link.txt")
else()
  message(STATUS "Installing: ${staged}/link.txt (${bqw_template})")
  file(COPY_FILE "${staged}/templates/${bqw_template}.txt" "${staged}/link.txt")
endif()
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${staged}/link.txt")

# The Exec value: a plain path stays bare, which every launcher reads; one with
# a space or a reserved character is quoted and escaped as desktop entries
# require, then the string value's own backslashes double. (A '%' or a line
# break was refused before anything was installed.)
set(exec "${folder}/brindlequillworth")
if(exec MATCHES "[ \t\"'\\\\<>~|&;$*?#()`]")
  foreach(c "\\" "\"" "`" "$")
    string(REPLACE "${c}" "\\${c}" exec "${exec}")
  endforeach()
  set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" desktop_exec "${exec}")
set(desktop "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/brindlequillworth.desktop")
message(STATUS "Installing: ${desktop}")
configure_file("${bqw_source}/app/brindlequillworth.desktop.in" "${desktop}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${desktop}")

set(bin "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
message(STATUS "Installing: ${bin}/brindlequillworth-preview")
file(MAKE_DIRECTORY "${bin}")
file(REMOVE "${bin}/brindlequillworth-preview")
file(CREATE_LINK "../lib/brindlequillworth/brindlequillworth-preview"
     "${bin}/brindlequillworth-preview" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${bin}/brindlequillworth-preview")
