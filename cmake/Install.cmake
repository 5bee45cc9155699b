# The install: one program folder (the program, drugdb and a drug.mdb made
# from the sample only where none is there), a menu entry, the icon in the
# hicolor theme and a launcher on the PATH. The prefix is a data folder:
# for the current user, ${XDG_DATA_HOME:-~/.local/share}.
#
#   <prefix>/zelkano/                      the program folder
#   <prefix>/applications/zelkano.desktop  the menu entry
#   <prefix>/icons/hicolor/*/apps/         the icon
#   <ZELKANO_INSTALL_BINDIR>/zelkano       the launcher, a link to the program

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.local/share" CACHE PATH "Install prefix: a data folder" FORCE)
endif()
set(ZELKANO_INSTALL_BINDIR "../bin" CACHE STRING "Where the launcher goes, absolute or relative to the prefix")

set(ZELKANO_ICON_SIZES 16 22 24 32 48 64 128 256)
set(ZELKANO_ICON_SVG ${CMAKE_CURRENT_SOURCE_DIR}/resources/icons/app.svg)
set(ZELKANO_ICON_PNGS)
foreach(size IN LISTS ZELKANO_ICON_SIZES)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/zelkano.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
        COMMAND iconpng ${ZELKANO_ICON_SVG} ${png} ${size}
        DEPENDS iconpng ${ZELKANO_ICON_SVG}
        VERBATIM)
    list(APPEND ZELKANO_ICON_PNGS ${png})
    install(FILES ${png} DESTINATION icons/hicolor/${size}x${size}/apps COMPONENT desktop)
endforeach()
add_custom_target(app_icons ALL DEPENDS ${ZELKANO_ICON_PNGS})
install(FILES ${ZELKANO_ICON_SVG} DESTINATION icons/hicolor/scalable/apps RENAME zelkano.svg COMPONENT desktop)

install(TARGETS zelkano drugdb
    RUNTIME DESTINATION zelkano COMPONENT program
    BUNDLE DESTINATION zelkano COMPONENT program)

# What the install steps below need to know, read when they run.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/ZelkanoInstallSettings.cmake CONTENT [[
set(ZELKANO_SAMPLE_DIR "@CMAKE_CURRENT_SOURCE_DIR@/sampledata")
set(ZELKANO_DESKTOP_TEMPLATE "@CMAKE_CURRENT_SOURCE_DIR@/resources/zelkano.desktop.in")
set(ZELKANO_INSTALL_BINDIR "@ZELKANO_INSTALL_BINDIR@")
]] @ONLY)

install(CODE "include(\"${CMAKE_BINARY_DIR}/ZelkanoInstallSettings.cmake\")" COMPONENT program)
install(CODE [[
    # The user's edits live in drug.mdb: an install never replaces it.
    set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/zelkano")
    execute_process(COMMAND "${dir}/drugdb" build --keep-existing --data "${ZELKANO_SAMPLE_DIR}" --out "${dir}/drug.mdb"
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Could not make ${dir}/drug.mdb from the sample")
    endif()
]] COMPONENT program)

install(CODE "include(\"${CMAKE_BINARY_DIR}/ZelkanoInstallSettings.cmake\")" COMPONENT desktop)
install(CODE [[
    cmake_path(SET program NORMALIZE "${CMAKE_INSTALL_PREFIX}/zelkano/zelkano")

    # The menu entry starts the program by its full path: the launcher's
    # folder may not be on the desktop session's PATH yet.
    set(exec "${program}")
    foreach(special "\\" "\"" "`" "$")
        string(REPLACE "${special}" "\\${special}" exec "${exec}")
    endforeach()
    string(REPLACE "\\" "\\\\" exec "${exec}")
    string(REPLACE "%" "%%" exec "${exec}")
    set(ZELKANO_EXEC "\"${exec}\"")
    set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/applications/zelkano.desktop")
    message(STATUS "Installing: ${entry}")
    configure_file("${ZELKANO_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")

    # The launcher is a link: the program finds drug.mdb beside its real path.
    if(IS_ABSOLUTE "${ZELKANO_INSTALL_BINDIR}")
        cmake_path(SET bindir NORMALIZE "${ZELKANO_INSTALL_BINDIR}")
    else()
        cmake_path(SET bindir NORMALIZE "${CMAKE_INSTALL_PREFIX}/${ZELKANO_INSTALL_BINDIR}")
    endif()
    file(RELATIVE_PATH target "${bindir}" "${program}")
    set(launcher "$ENV{DESTDIR}${bindir}/zelkano")
    message(STATUS "Installing: ${launcher} -> ${target}")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${bindir}")
    file(CREATE_LINK "${target}" "${launcher}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${launcher}")
]] COMPONENT desktop)

# A .tar.gz of the program folder alone.
set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME zelkano)
set(CPACK_PACKAGE_FILE_NAME "zelkano-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENTS_ALL program)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
include(CPack)
