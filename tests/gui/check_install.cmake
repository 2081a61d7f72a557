# Installs the build into a fresh prefix and checks what lands there: the
# program in bin (and nothing else of ours), the reader child in its own
# folder under libexec,
# the notifier beside it, nothing that starts by itself (no unit file),
# the desktop entry, icon and metainfo where desktops look for them, the
# manual page, copyright and changelog; that the installed program starts
# from there; and that no installed file names the build tree.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DVERSION=... -DAPP_ID=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
# Stripped, as the package installs it: debug data names the build folder.
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" --strip
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(failures "")
foreach(path
    bin/restore-rolvane-data
    libexec/restore-rolvane-data/rolvane-mdb-reader
    libexec/restore-rolvane-data/restore-rolvane-data-window
    libexec/restore-rolvane-data/rolvane-notifier
    share/applications/restore-rolvane-data.desktop
    share/icons/hicolor/scalable/apps/restore-rolvane-data.svg
    share/metainfo/${APP_ID}.metainfo.xml
    share/man/man1/restore-rolvane-data.1.gz
    share/doc/restore-rolvane-data/copyright
    share/doc/restore-rolvane-data/changelog.gz)
  if(NOT EXISTS "${PREFIX}/${path}")
    list(APPEND failures "missing ${path}")
  endif()
endforeach()

foreach(program bin/restore-rolvane-data libexec/restore-rolvane-data/rolvane-mdb-reader
                libexec/restore-rolvane-data/restore-rolvane-data-window
                libexec/restore-rolvane-data/rolvane-notifier)
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

# No unit file, no autostart entry: installing starts nothing for anyone;
# --auto-snapshot on writes the user's own units.
file(GLOB_RECURSE started RELATIVE "${PREFIX}" "${PREFIX}/*.service" "${PREFIX}/*.timer" "${PREFIX}/*.path"
     "${PREFIX}/etc/*")
if(started)
  list(APPEND failures "the installation would start something: ${started}")
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

# The metainfo's newest release, the changelog's newest entry and the manual
# page all name the version the project declares.
set(metainfo "${PREFIX}/share/metainfo/${APP_ID}.metainfo.xml")
if(EXISTS "${metainfo}")
  file(READ "${metainfo}" text)
  string(REGEX MATCH "<release version=\"([^\"]*)\"" release "${text}")
  if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
    list(APPEND failures "the metainfo's newest release is '${CMAKE_MATCH_1}', not ${VERSION}")
  endif()
endif()
foreach(doc "share/doc/restore-rolvane-data/changelog.gz|^restore-rolvane-data \\(${VERSION}\\) "
            "share/man/man1/restore-rolvane-data.1.gz|^\\.TH [^\n]*\"restore-rolvane-data ${VERSION}\"")
  string(REPLACE "|" ";" doc "${doc}")
  list(GET doc 0 path)
  list(GET doc 1 pattern)
  if(EXISTS "${PREFIX}/${path}")
    execute_process(COMMAND gzip -dc "${PREFIX}/${path}" OUTPUT_VARIABLE text RESULT_VARIABLE bad)
    if(bad OR NOT text MATCHES "${pattern}")
      list(APPEND failures "${path} does not begin with version ${VERSION}")
    endif()
  endif()
endforeach()

# The installed program finds what it needs relative to itself; it starts,
# without a display, and names its version.
execute_process(COMMAND "${PREFIX}/bin/restore-rolvane-data" --version
                OUTPUT_VARIABLE said RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT said STREQUAL "restore-rolvane-data ${VERSION}\n")
  list(APPEND failures "the installed program answered --version with status ${status}: '${said}'")
endif()

# No installed file names the build tree: the program would look there for
# its reader, and two builds of the same sources would differ. A sanitizer
# build records, for its reports only, the paths of the generated moc sources
# and the paths of headers as the compiler found them through a room's view
# (GCC 12's UBSan does not apply -ffile-prefix-map); a release build has no
# sanitizer (scripts/build-deb checks the package).
file(GLOB_RECURSE installed "${PREFIX}/*")
foreach(file ${installed})
  file(STRINGS "${file}" mentions REGEX "${BUILD_DIR}/")
  list(FILTER mentions EXCLUDE REGEX "_autogen/")
  if(SANITIZED)
    list(FILTER mentions EXCLUDE REGEX "^${BUILD_DIR}/rooms/[^ ]*\\.h$")
  endif()
  if(mentions)
    file(RELATIVE_PATH name "${PREFIX}" "${file}")
    list(GET mentions 0 first)
    list(APPEND failures "${name} names the build tree: ${first}")
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "install layout:\n  ${text}")
endif()
