# The Wine prefix the tests run in, made once when the build is configured: its first start
# takes long, and would otherwise fall into the first test's time.
if(CMAKE_CROSSCOMPILING_EMULATOR AND NOT EXISTS "${ORBCFG_WINEPREFIX}/system.reg")
    message(STATUS "Creating the Wine prefix ${ORBCFG_WINEPREFIX}")
    set(wine_env env WINEPREFIX=${ORBCFG_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
    execute_process(COMMAND ${wine_env} ${ORBCFG_WINE} wineboot --init
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    # The registry is on disk once the Wine server has ended.
    execute_process(COMMAND ${wine_env} ${ORBCFG_WINESERVER} -w OUTPUT_QUIET ERROR_QUIET)
    if(NOT EXISTS "${ORBCFG_WINEPREFIX}/system.reg")
        message(FATAL_ERROR "Wine could not create ${ORBCFG_WINEPREFIX} (${result})")
    endif()
endif()

# The windows' tests draw with Wine's own fonts (Tahoma and the rest, package fonts-wine),
# which Debian's Wine finds only in the prefix's Fonts folder.
if(CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS /usr/share/wine/fonts)
    file(GLOB wine_fonts /usr/share/wine/fonts/*)
    file(COPY ${wine_fonts} DESTINATION "${ORBCFG_WINEPREFIX}/drive_c/windows/Fonts")
endif()
