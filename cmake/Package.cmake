# The package of a Windows build: orbcfg-VERSION-win64.zip with the editor, the tool, the help
# file, the README in Windows line ends and the Russian installation note; where makensis is at
# hand, also an installer that puts a Start-menu entry and associates nothing.
# `cmake --build BUILD --target package` makes them.
if(NOT WIN32)
    return()
endif()

# The README with CR LF line ends, as Notepad of older Windows wants them.
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
string(REPLACE "\r\n" "\n" readme "${readme}")
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt "${readme}")
file(READ ${PROJECT_SOURCE_DIR}/packaging/Установка.txt note)
string(REPLACE "\n" "\r\n" note "${note}")
file(WRITE ${CMAKE_BINARY_DIR}/package/Установка.txt "${note}")
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt ${CMAKE_BINARY_DIR}/package/Установка.txt
        DESTINATION .)
if(ORBCFG_CHM)
    install(FILES ${ORBCFG_CHM} DESTINATION .)
endif()

set(CPACK_PACKAGE_NAME orbcfg)
set(CPACK_PACKAGE_VENDOR ORBEX)
set(CPACK_PACKAGE_VERSION ${ORBCFG_VERSION})
set(CPACK_PACKAGE_FILE_NAME orbcfg-${ORBCFG_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY ORBEX)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
find_program(ORBCFG_MAKENSIS makensis)
if(ORBCFG_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
    set(CPACK_NSIS_EXECUTABLE ${ORBCFG_MAKENSIS})
    # A 64-bit installer with Unicode texts, as the program it installs (NSIS's own default
    # is a 32-bit one that Wine without its 32-bit part cannot start).
    set(CPACK_NSIS_DEFINES "Target amd64-unicode")
    set(CPACK_NSIS_DISPLAY_NAME "${ORBCFG_TITLE}")
    set(CPACK_NSIS_PACKAGE_NAME "ORBEX ${ORBCFG_VERSION}")
    set(CPACK_NSIS_MENU_LINKS "orbcfg.exe" "${ORBCFG_TITLE}" "orbex.chm" "Справка")
    set(CPACK_NSIS_INSTALLED_ICON_NAME orbcfg.exe)
    set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/app/orbcfg.ico)
    set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/app/orbcfg.ico)
endif()
include(CPack)
