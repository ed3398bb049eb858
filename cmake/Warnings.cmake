# Warnings are errors in our own code; applied per target with orbcfg_warnings(TARGET).
# Besides -Wall -Wextra: a class with virtual functions and a public non-virtual destructor,
# old-style casts, a function that hides an overloaded virtual one, format strings that are
# not literals, and an undefined macro in #if.
function(orbcfg_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
        # fopen, strerror and the like are standard C; MSVC would have its _s variants instead.
        target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS NOMINMAX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wnon-virtual-dtor
                               -Wold-style-cast -Woverloaded-virtual -Wformat=2 -Wundef)
        # GCC 12 reports std::string concatenation at -O3 as overlapping copies (GCC bug 105329).
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
            target_compile_options(${target} PRIVATE -Wno-restrict)
        endif()
    endif()
endfunction()
