# The Wine prefix the tests run in, made once when the build is configured: its first start
# takes long, and would otherwise fall into the first test's time.
if(CMAKE_CROSSCOMPILING_EMULATOR AND NOT EXISTS "${ORBCFG_WINEPREFIX}/system.reg")
    message(STATUS "Creating the Wine prefix ${ORBCFG_WINEPREFIX}")
    execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    if(NOT EXISTS "${ORBCFG_WINEPREFIX}/system.reg")
        message(FATAL_ERROR "Wine could not create ${ORBCFG_WINEPREFIX} (${result})")
    endif()
endif()
