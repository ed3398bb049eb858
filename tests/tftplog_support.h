// The clock of a log's test: the local clock on UTC, and the date that stamps without a year
// are read on, so that the expected times hold on any machine and any day.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "model/tftplog.h"

namespace orbex::testing {

class LogClock {
  public:
    explicit LogClock(tftplog::Today today = {2026, 12}) {
        if (const char* tz = std::getenv("TZ")) old_ = tz;
        setZone("UTC0");
        tftplog::seam::setToday(today);
    }
    ~LogClock() {
        tftplog::seam::setToday(std::nullopt);
        setZone(old_ ? old_->c_str() : nullptr);
    }
    LogClock(const LogClock&) = delete;
    LogClock& operator=(const LogClock&) = delete;

  private:
    static void setZone(const char* zone) {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone : "");
        _tzset();
#else
        if (zone) {
            ::setenv("TZ", zone, 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
#endif
    }
    std::optional<std::string> old_;
};

}  // namespace orbex::testing
