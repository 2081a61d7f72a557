# Installs the build into a fresh prefix and checks what lands there: the
# program in bin (and nothing else of ours), the reader child in libexec,
# the desktop entry and the icon where desktops look for them.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(failures "")
foreach(path
    bin/restore-rolvane-data
    libexec/rolvane-mdb-reader
    share/applications/restore-rolvane-data.desktop
    share/icons/hicolor/scalable/apps/restore-rolvane-data.svg)
  if(NOT EXISTS "${PREFIX}/${path}")
    list(APPEND failures "missing ${path}")
  endif()
endforeach()

foreach(program bin/restore-rolvane-data libexec/rolvane-mdb-reader)
  if(EXISTS "${PREFIX}/${program}")
    execute_process(COMMAND test -x "${PREFIX}/${program}" RESULT_VARIABLE notExecutable)
    if(notExecutable)
      list(APPEND failures "${program} is not executable")
    endif()
  endif()
endforeach()

file(GLOB installedPrograms RELATIVE "${PREFIX}/bin" "${PREFIX}/bin/*")
if(NOT installedPrograms STREQUAL "restore-rolvane-data")
  list(APPEND failures "bin holds [${installedPrograms}], not only restore-rolvane-data")
endif()

set(desktop "${PREFIX}/share/applications/restore-rolvane-data.desktop")
if(EXISTS "${desktop}")
  file(READ "${desktop}" entry)
  foreach(line "[Desktop Entry]" "Type=Application" "Name=Restore Rolvane Data"
               "Exec=restore-rolvane-data" "Icon=restore-rolvane-data")
    string(FIND "${entry}" "${line}\n" at)
    if(at EQUAL -1)
      list(APPEND failures "desktop entry lacks the line '${line}'")
    endif()
  endforeach()
endif()

set(icon "${PREFIX}/share/icons/hicolor/scalable/apps/restore-rolvane-data.svg")
if(EXISTS "${icon}")
  file(READ "${icon}" svg)
  if(NOT svg MATCHES "<svg[^>]*xmlns=\"http://www.w3.org/2000/svg\"")
    list(APPEND failures "icon is not an SVG document")
  endif()
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "install layout:\n  ${text}")
endif()
