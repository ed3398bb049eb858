// The eight tabs of the main window, in page order.
#pragma once

#include <span>

#include "model/catalogue.h"

struct PageInfo {
    orbex::Page page;
    const char* name;  // objectName of the tab page
    const char* caption;
};

std::span<const PageInfo> pages();
