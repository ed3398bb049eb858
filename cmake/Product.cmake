# The program's version and title as model/product.h spells them: the version information of
# the Windows executable and the package's name take them from there.
file(STRINGS ${PROJECT_SOURCE_DIR}/model/product.h version_line REGEX "kVersion = ")
string(REGEX MATCH "\"([^\"]+)\"" _ "${version_line}")
set(ORBCFG_VERSION "${CMAKE_MATCH_1}")
file(STRINGS ${PROJECT_SOURCE_DIR}/model/product.h title_line REGEX "kTitle = " ENCODING UTF-8)
string(REGEX MATCH "\"([^\"]+)\"" _ "${title_line}")
set(ORBCFG_TITLE "${CMAKE_MATCH_1}")
