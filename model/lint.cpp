#include "model/lint.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <forward_list>
#include <limits>
#include <numeric>
#include <optional>

#include "model/catalogue.h"
#include "model/checks.h"
#include "model/reader.h"
#include "model/review.h"
#include "model/text.h"
#include "model/writer.h"

namespace orbex {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string quoted(std::string_view s) {
    return "'" + std::string(s) + "'";
}

std::optional<Id> findIgnoringCase(std::string_view s) {
    for (Id id = 0; id < kKeyCount; ++id) {
        std::string_view k = param(id).key;
        if (k.size() == s.size() && std::equal(k.begin(), k.end(), s.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return id;
    }
    return std::nullopt;
}

// Why a line that is neither empty, a comment nor a parameter line is ignored: the parser's
// fault, and for a line that misses the grammar, what the line seems to have meant.
Finding explain(const RawLine& raw, const Line& line) {
    if (line.fault == Line::Fault::NoCloseQuote)
        return {raw.number, std::string(param(line.key).key), LintCode::NoCloseQuote};
    const std::string_view s = raw.text;
    const std::size_t eq = s.find('=');
    const std::string_view left = s.substr(0, eq);
    const std::string_view name = eq == std::string_view::npos
                                      ? trim(left).substr(0, trim(left).find_first_of(" \t'"))
                                      : trim(left);
    const auto id = find(name);
    if (!id) {
        if (name.empty() || eq == std::string_view::npos)
            return {raw.number, "", LintCode::NotParamLine};
        Finding f{raw.number, "", LintCode::UnknownKey, std::string(name)};
        if (auto near = findIgnoringCase(name)) f.hint = param(*near).key;
        return f;
    }
    Finding f{raw.number, std::string(name), LintCode::NoQuotes};
    if (eq == std::string_view::npos) {
        f.code = LintCode::NoEquals;
    } else if (left != name || (eq + 1 < s.size() && isBlank(s[eq + 1]))) {
        f.code = LintCode::Blanks;
    }
    return f;
}

}  // namespace

std::string message(const Finding& f) {
    switch (f.code) {
        case LintCode::NoCloseQuote:
            return "no closing quote; ignored";
        case LintCode::NotParamLine:
            return "not a KEY='value' line; ignored";
        case LintCode::UnknownKey:
            return "unknown key " + quoted(f.value) +
                   (f.hint.empty() ? "" : " (keys are case-sensitive: " + f.hint + ")") +
                   "; ignored";
        case LintCode::NoEquals:
            return "no \"='\" after the key; ignored";
        case LintCode::Blanks:
            return "blanks before the key or around \"=\"; ignored";
        case LintCode::NoQuotes:
            return "the value must stand in single quotes; ignored";
        case LintCode::NotInTable:
            return quoted(f.value) + (f.xFlag ? " (the value with X='on')" : "") +
                   " is not in the key's value table; ignored";
        case LintCode::XNotOnOff:
            return quoted(f.value) + " is neither on nor off; ignored";
        case LintCode::SwitchNotOnOff:
            return quoted(f.value) + " is neither on nor off; the switch stays unset";
        case LintCode::NotEdited:
            return "not edited by the program; ignored, and dropped on save";
        case LintCode::AfterEof:
            return "text after byte 1A (Ctrl-Z) is ignored";
        case LintCode::Reset: {
            const auto id = find(f.key);
            return quoted(f.value) + " is not " + describe(id ? param(*id).check : Check::Any) +
                   "; saving resets it to unset";
        }
        case LintCode::DroppedComment:
            break;
    }
    return "comment; dropped on save";
}

std::vector<Finding> lintConfig(std::string_view bytes) {
    std::vector<Finding> out;
    lintConfig(bytes, [&](const Finding& f) { out.push_back(f); });
    return out;
}

namespace {

Finding chipsetFinding(int number, std::string_view value, bool xFlag) {
    Finding f{number, std::string(keys::CHIPSET), LintCode::NotInTable, std::string(value)};
    if (xFlag) f.value += "_x";
    f.xFlag = xFlag;
    return f;
}

// The findings of the values the review resets, in line order, from the last text and line of
// every checked key.
template <typename Texts>
void addResets(const Texts& texts, const std::array<int, kKeyCount>& lastLine,
               std::vector<Finding>& out) {
    // A text reads as the store would hold it: UTF-8 as it is, anything else as Windows-1251.
    std::string decoded;
    const auto textOfKey = [&](Id id) -> std::string_view {
        const std::string_view t = texts[id];
        if (text::isUtf8(t)) return t;
        return decoded = text::fromCp1251(t);
    };
    const std::size_t first = out.size();
    forEachReset(textOfKey, [&](Id id) {
        const Param& p = param(id);
        out.push_back(
            {lastLine[id], std::string(p.key), LintCode::Reset, std::string(textOfKey(id))});
    });
    std::stable_sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

// Files larger than this are read twice when they hold a key whose finding depends on later
// lines: once for the X flag and the checked keys' last texts, then for the findings in line
// order, none held back. Smaller files hold their late findings until the end.
constexpr std::size_t kReadTwiceAbove = std::size_t{64} * 1024;

// What the end of a large file decides, read before its findings: the X flag and the values
// the review resets, in line order.
struct Ahead {
    bool xFlag = false;
    std::vector<Finding> resets;
};

Ahead readAhead(FileText text, std::forward_list<std::string>& held) {
    Ahead ahead;
    XFlag xFlag;
    std::array<int, kKeyCount> lastLine{};
    std::array<std::string_view, kKeyCount> texts;
    texts.fill(kUnset);
    auto handler = [&](const RawLine& raw, const Line& line) {
        if (line.type != Line::Type::Param) return true;
        if (WaitingChipsets<int>::isX(line.key)) {
            xFlag.see(line.value);
        } else if (!WaitingChipsets<int>::isChipset(line.key) &&
                   param(line.key).kind == Kind::Text && param(line.key).check != Check::Any) {
            texts[line.key] =
                raw.rebuilt ? std::string_view(held.emplace_front(line.value)) : line.value;
            lastLine[line.key] = raw.number;
        }
        return true;
    };
    parseLines(text, handler);
    ahead.xFlag = xFlag.on();
    addResets(texts, lastLine, ahead.resets);
    return ahead;
}

// The check's handler. Reading's state is kept only as far as the check needs it: the X flag,
// the CHIPSET lines that wait for it, and the last text of every key that the review checks;
// the review's checks then run on those texts without a table. Findings go out as soon as no
// later one can come before them (a waiting CHIPSET line, or the line of a checked key whose
// value the review may reset). A large file is read ahead for what its end decides, so that
// none waits and its findings need no more memory than a few lines.
class FileCheck {
  public:
    FileCheck(FileText text, const std::function<void(const Finding&)>& report,
              std::span<LastValue> watch)
        : report_(report), watch_(watch) {
        texts_.fill(kUnset);
        if (text.lines.size() > kReadTwiceAbove) {
            ahead_ = readAhead(text, held_);
            readAhead_ = true;
        }
    }

    bool operator()(const RawLine& raw, const Line& line) {
        if (out_.size() - sent_ >= 256) flush();
        if (line.type == Line::Type::Blank || line.type == Line::Type::Comment) return true;
        if (line.type == Line::Type::Other) {
            add(explain(raw, line));
            return true;
        }
        for (LastValue& w : watch_) {
            if (w.key != line.key) continue;
            w.value.assign(line.value);
            w.line = raw.number;
        }
        if (Chipsets::isChipset(line.key)) {
            chipset(raw, line.value);
            return true;
        }
        if (const auto fault = check(raw, line)) {
            add({raw.number, std::string(param(line.key).key), *fault, std::string(line.value)});
        } else {
            lastLine_[line.key] = raw.number;
        }
        return true;
    }

    // What the end of the file decides, then every finding still held, in line order.
    void finish(std::string_view bytes, FileText text) {
        if (!readAhead_) settleChipsets();
        if (text.eof != std::string_view::npos) {
            const std::string_view rest = bytes.substr(text.eof + 1);
            if (rest.find_first_not_of(" \t\r\n\x1A") != std::string_view::npos)
                add({static_cast<int>(std::count(text.lines.begin(), text.lines.end(), '\n')) + 1,
                     "", LintCode::AfterEof});
        }
        if (readAhead_) {
            while (nextReset_ < ahead_.resets.size())
                out_.push_back(std::move(ahead_.resets[nextReset_++]));
        } else {
            addResets(texts_, lastLine_, out_);
        }
        // What was held back, in line order after what went out.
        std::stable_sort(out_.begin() + static_cast<std::ptrdiff_t>(sent_), out_.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        barrier_ = std::numeric_limits<int>::max();
        flush();
    }

  private:
    struct Pending {
        int number = 0;
        std::string_view value;
    };
    using Chipsets = WaitingChipsets<Pending>;

    // A parameter line other than CHIPSET: why reading ignores it, none when it does not.
    std::optional<LintCode> check(const RawLine& raw, const Line& line) {
        static const Id fb = idOf(keys::FB);
        const Param& p = param(line.key);
        switch (p.kind) {
            case Kind::None:
                if (Chipsets::isX(line.key)) {
                    if (!chipsets_.flag().see(line.value)) return LintCode::XNotOnOff;
                } else if (line.key != fb) {
                    return LintCode::NotEdited;
                }
                break;
            case Kind::Switch:
                if (!onOff(line.value)) return LintCode::SwitchNotOnOff;
                break;
            case Kind::Choice:
                if (!p.has(Editable) && !itemOf(p.table, line.value)) return LintCode::NotInTable;
                break;
            case Kind::Text:
                if (p.check != Check::Any && !readAhead_) {
                    texts_[line.key] = keep(raw, line.value);
                    barrier_ = std::min(barrier_, raw.number);
                }
                break;
        }
        return std::nullopt;
    }

    // A CHIPSET line: checked at once when the file was read ahead, otherwise it waits.
    void chipset(const RawLine& raw, std::string_view value) {
        if (readAhead_) {
            if (!chipsetItem(value, ahead_.xFlag))
                add(chipsetFinding(raw.number, value, ahead_.xFlag));
            return;
        }
        chipsets_.wait({raw.number, keep(raw, value)});
        barrier_ = std::min(barrier_, raw.number);
    }

    void settleChipsets() {
        static const Id id = idOf(keys::CHIPSET);
        chipsets_.settle([this](const Pending& c, bool xFlag) {
            if (chipsetItem(c.value, xFlag)) {
                lastLine_[id] = c.number;
            } else {
                out_.push_back(chipsetFinding(c.number, c.value, xFlag));
            }
        });
    }

    std::string_view keep(const RawLine& raw, std::string_view v) {
        return raw.rebuilt ? std::string_view(held_.emplace_front(v)) : v;
    }

    // A finding in line order: with the file read ahead, the resets of earlier lines first.
    void add(Finding f) {
        if (readAhead_)
            while (nextReset_ < ahead_.resets.size() && ahead_.resets[nextReset_].line < f.line)
                out_.push_back(std::move(ahead_.resets[nextReset_++]));
        out_.push_back(std::move(f));
    }

    void flush() {
        while (sent_ < out_.size() && out_[sent_].line < barrier_) report_(out_[sent_++]);
        if (sent_ == out_.size()) out_.clear(), sent_ = 0;
    }

    const std::function<void(const Finding&)>& report_;
    std::span<LastValue> watch_;
    std::vector<Finding> out_;
    std::array<int, kKeyCount> lastLine_{};
    std::array<std::string_view, kKeyCount> texts_;
    // Copies of values whose line had CR bytes inside, kept while the check runs. (Plain
    // members: with MinGW, a thread_local that has a destructor corrupts the heap when a thread
    // of the fleet commands ends.)
    std::forward_list<std::string> held_;  // no storage until a line needs it
    Chipsets chipsets_;
    int barrier_ = std::numeric_limits<int>::max();  // the first line a late finding may name
    std::size_t sent_ = 0;
    bool readAhead_ = false;
    Ahead ahead_;  // with readAhead_
    std::size_t nextReset_ = 0;
};

}  // namespace

void lintConfig(std::string_view bytes, const std::function<void(const Finding&)>& report) {
    lintConfig(bytes, report, {});
}

// One pass over the lines, each key looked up once (a large file is read ahead once more).
void lintConfig(std::string_view bytes, const std::function<void(const Finding&)>& report,
                std::span<LastValue> watch) {
    const FileText text = textOf(bytes);
    FileCheck handler(text, report, watch);
    parseLines(text, handler);
    handler.finish(bytes, text);
}

std::vector<Finding> droppedLines(std::string_view bytes) {
    MemoryStore read;
    readConfig(bytes, read);
    return droppedLines(bytes, read);
}

namespace {

// The comment lines that the save writes again: the header's, and the one before each row of
// the review that the save makes of the file. A text written n times keeps n lines of it.
class SavedComments {
  public:
    explicit SavedComments(const MemoryStore& read) {
        MemoryStore store = read;
        const ReviewTable table = BuildReviewTable(store, [](Id) {});
        all_.reserve(64 * (table.size() + headerLines().size()));
        std::vector<std::size_t> ends;
        ends.reserve(table.size() + headerLines().size());
        for (const std::string& line : headerLines()) {
            all_ += line;
            ends.push_back(all_.size());
        }
        for (const ReviewRow& row : table) {
            appendComment(all_, row);
            ends.push_back(all_.size());
        }
        written_.reserve(ends.size());
        for (std::size_t begin = 0; std::size_t end : ends) {
            written_.push_back(std::string_view(all_).substr(begin, end - begin));
            begin = end;
        }
        used_.assign(written_.size(), false);
    }

    // Whether the save writes `line` again, taking one of the written lines of its text. A file
    // the editor saved holds them in the order written, each found at once; any other is looked
    // up among them all by its text.
    bool keeps(std::string_view line) {
        if (next_ < written_.size() && !used_[next_] && written_[next_] == line) {
            used_[next_++] = true;
            return true;
        }
        if (byText_.size() != written_.size()) sortByText();
        auto at =
            std::lower_bound(byText_.begin(), byText_.end(), line,
                             [&](std::size_t i, std::string_view t) { return written_[i] < t; });
        for (; at != byText_.end() && written_[*at] == line; ++at) {
            if (used_[*at]) continue;
            used_[*at] = true;
            next_ = *at + 1;
            return true;
        }
        return false;
    }

  private:
    void sortByText() {
        byText_.resize(written_.size());
        std::iota(byText_.begin(), byText_.end(), std::size_t{0});
        std::sort(byText_.begin(), byText_.end(),
                  [&](std::size_t a, std::size_t b) { return written_[a] < written_[b]; });
    }

    std::string all_;
    std::vector<std::string_view> written_;  // into all_
    std::vector<bool> used_;
    std::vector<std::size_t> byText_;  // indexes into written_ sorted by text, made when needed
    std::size_t next_ = 0;
};

}  // namespace

std::vector<Finding> droppedLines(std::string_view bytes, const MemoryStore& read) {
    SavedComments saved(read);
    std::vector<Finding> out;
    forEachLine<true>(bytes, [&](const RawLine& raw) {
        if (parseLine(raw.text).type == Line::Type::Comment && !saved.keeps(raw.text))
            out.push_back({raw.number, "", LintCode::DroppedComment});
        return true;
    });
    const std::size_t comments = out.size();
    lintConfig(bytes, [&](const Finding& f) {
        if (!f.resets()) out.push_back(f);
    });
    std::inplace_merge(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(comments), out.end(),
                       [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return out;
}

}  // namespace orbex
