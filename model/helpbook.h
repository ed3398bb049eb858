// The program's own help book, made from the catalogue: one section per key, plus "MAIN" for
// using the program and "FSAVE" for the save targets. HTML, UTF-8; anchors are the keywords.
#pragma once

#include <string>

namespace orbex {

std::string helpBook();

}  // namespace orbex
