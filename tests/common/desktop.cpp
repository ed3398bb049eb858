#include "tests/common/desktop.h"
