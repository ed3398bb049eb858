#include "model/product.h"

#ifndef ORBCFG_SITE_HOST
#define ORBCFG_SITE_HOST "orbex.example"
#endif

namespace orbex {

std::string siteAddress() {
    return "http://" ORBCFG_SITE_HOST;
}

std::string pageAddress(std::string_view key) {
    return siteAddress() + "/conf.html#" + std::string(key);
}

}  // namespace orbex
