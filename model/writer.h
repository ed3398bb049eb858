// Writing the configuration file from the review table.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "model/product.h"
#include "model/review.h"

namespace orbex {

// The clean-up filter for one line of the working text (with its line feed, when it has one):
// comment lines and empty lines pass, a line of a known key passes up to the first quote after
// its "='", anything else is dropped. Returns 0 when the line was written, 1 when dropped.
int FilterConfigLine(std::string_view line, std::string& out);

// The file's bytes: byte-order mark, header, per row an empty line, "# description: shown"
// and KEY='value' as the clean-up filter leaves them, with CR LF line ends. Every row carries
// the id of a catalogue key, as BuildReviewTable makes them.
std::string WriteConfig(const ReviewTable& table);

// The comment lines that WriteConfig writes, without their line ends: the header's, in order,
// and the one before a row's KEY='value' line, "# description: shown", appended to `out`;
// returns where in `out` the shown text begins.
std::span<const std::string> headerLines();
std::size_t appendComment(std::string& out, const ReviewRow& row);

// Open, review and save unchanged: the bytes that the editor writes for a file's bytes, each
// value that the review resets reported through `warn`.
std::string normalizeConfig(std::string_view bytes, const Warn& warn);

}  // namespace orbex
