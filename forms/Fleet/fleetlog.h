// A TFTP server's log read against the fleet's folder: when and by whom each file was last asked
// for, the terminals that got another file than their own, the files nobody asked for; what it
// says in the fleet window's words.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/fetched.h"

class FleetLog {
  public:
    // Reads the log (plain or gzip) against the folder; false with the reason in Russian when
    // either cannot be read. What was read before stays then.
    bool read(const QString& logPath, const QString& folder, QString& error);
    bool isRead() const { return read_; }
    QString path() const { return path_; }
    const orbex::fetched::Report& report() const { return report_; }
    // The log's view of a file of the folder; nullptr when the log names it nowhere and it is
    // no terminal's file (default.cfg asked for by nobody).
    const orbex::fetched::FileUse* use(std::string_view file) const;
    // What the log holds, for the line above the table: its span, the requests, the terminals,
    // then each terminal that got another file than its own.
    QString summary() const;
    // The note that tftpd-hpa logs a missing file only with -vv, when it logged none.
    bool withoutNaks() const { return withoutNaks_; }

  private:
    bool read_ = false;
    QString path_;
    orbex::fetched::Report report_;
    bool withoutNaks_ = false;
};

namespace fleettexts {

// The codes the finding filter picks rows by from the log, beside the findings of lint.
inline constexpr char kNeverFetched[] = "never-fetched";
inline constexpr char kFellBack[] = "fell-back";
// What a flag of the log says.
QString flagText(const orbex::fetched::Flag& flag);
// "получен", "нет в папке", "не отправлен".
QString outcomeText(orbex::tftplog::Outcome outcome);

}  // namespace fleettexts
