// What the check says of a file's lines, and why a value is refused, in the windows' words:
// each composed from the finding's or the refusal's code and its parameters.
#pragma once

#include <QString>

#include "model/catalogue.h"
#include "model/edit.h"
#include "model/lint.h"

namespace findingtexts {

// "'abc' — не целое число; при сохранении значение будет сброшено".
QString lintText(orbex::LintCode code, const std::string& key, const std::string& value,
                 const std::string& hint, bool xFlag);
QString lintText(const orbex::Finding& finding);
// Why a value cannot be given to the parameter: "принимает on или off".
QString valueRefusalText(const orbex::Param& p, const orbex::ValueRefusal& refusal);
// The same after the key: "AUTOSTART принимает on или off", "IP: '10.0..1' — не IPv4-адрес".
QString keyRefusalText(const orbex::Param& p, const orbex::ValueRefusal& refusal);

}  // namespace findingtexts
