#include "model/fleet.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>

#include "model/fleet_common.h"
#include "model/parallel.h"

namespace orbex::fleet {

using namespace detail;

namespace {

// Files written at the same time by an import.
constexpr std::size_t kWriters = 16;

// False with the reason when the plan is not one to write.
bool writable(const ImportPlan& plan, std::string& error) {
    if (plan.refusals.empty() && !plan.statusOnly) return true;
    error = plan.statusOnly ? "the plan holds no bytes" : "the plan holds refusals";
    return false;
}

// After a failure, the targets written before it as they were: a new file removed, a changed
// one given its old bytes; what cannot be put back is told after `error`.
// A new file written before a failure, removed again: the file made, which for a link is the
// file it leads to (the link stays as it was).
bool removeNew(const fs::path& root, const Target& t) {
    std::error_code ec;
    return fs::remove(root / pathOf(t.place.empty() ? t.file : t.place), ec);
}

void tellLeft(std::size_t left, std::string& error) {
    if (left > 0)
        error += "; " + std::to_string(left) + " file(s) written before could not be put back";
}

void restore(const fs::path& root, std::span<const Target* const> written,
             const ReplaceFile& replace, std::string& error) {
    std::size_t left = 0;
    for (const Target* w : written) {
        std::string ignored;
        if (w->status == Status::New) {
            if (!removeNew(root, *w)) ++left;
        } else if (!replace(inFolder(root, w->file), *w->old, ignored)) {
            ++left;
        }
    }
    tellLeft(left, error);
}

// The same through replaces of many files: the changed files get their old bytes back where
// they still hold the new ones. A file that does not is passed over and the rest go on; after a
// few such, one file at a time, so that the rewriting stays linear.
void restore(const fs::path& root, std::span<const Target* const> written,
             const ReplaceFiles& putBack, std::string& error) {
    constexpr int kWholeRetries = 16;
    std::size_t left = 0;
    std::vector<FileBytes> back;
    for (const Target* w : written) {
        if (w->status == Status::New) {
            if (!removeNew(root, *w)) ++left;
        } else {
            back.push_back({inFolder(root, w->file), *w->old, Status::Changed, w->bytes});
        }
    }
    std::span<const FileBytes> rest(back);
    for (int failures = 0; !rest.empty();) {
        const std::size_t take = failures < kWholeRetries ? rest.size() : 1;
        BatchFailure f;
        if (putBack(rest.first(take), f)) {
            rest = rest.subspan(take);
            continue;
        }
        ++failures;
        // The files before the failed one are back; the failed one stays as it is.
        const std::size_t failed = std::min(f.failed, take - 1);
        ++left;
        if (f.renamed < failed) {
            // It failed before its renames: the files before it are not back either.
            left += failed - f.renamed;
        }
        rest = rest.subspan(failed + 1);
    }
    tellLeft(left, error);
}

}  // namespace

bool writeImport(const ImportPlan& plan, const std::string& dir, const ReplaceFile& replace,
                 std::string& error) {
    if (!writable(plan, error)) return false;
    const fs::path root = pathOf(dir);
    std::vector<std::size_t> todo;
    for (std::size_t i = 0; i < plan.targets.size(); ++i)
        if (plan.targets[i].status != Status::Same) todo.push_back(i);

    // Each replace waits for its file to reach the disk; several wait at once.
    std::vector<char> written(todo.size(), 0);
    std::atomic<bool> failed{false};
    std::mutex firstFailure;
    std::size_t failedAt = todo.size();
    // After a failure the files not yet begun are left alone.
    parallelFor(todo.size(), kWriters, [&](std::size_t k) {
        if (failed) return;
        const Target& t = plan.targets[todo[k]];
        std::string why;
        if (replace(inFolder(root, t.file), t.bytes, why)) {
            written[k] = 1;
            return;
        }
        failed = true;
        const std::lock_guard lock(firstFailure);
        if (k < failedAt) {
            failedAt = k;
            error = "cannot write " + t.file + ": " + why;
        }
    });
    if (!failed) return true;

    std::vector<const Target*> done;
    for (std::size_t k = 0; k < todo.size(); ++k)
        if (written[k]) done.push_back(&plan.targets[todo[k]]);
    restore(root, done, replace, error);
    return false;
}

bool writeInOrder(const ImportPlan& plan, const std::string& dir, const ReplaceAsPlanned& replace,
                  WrittenInOrder& done, std::string& error) {
    done = {};
    if (!writable(plan, error)) return false;
    const fs::path root = pathOf(dir);
    for (const Target& t : plan.targets) {
        if (t.status == Status::Same) continue;
        std::string why;
        switch (replace(inFolder(root, t.file), t.bytes, t.old, why)) {
            case Replaced::Yes:
                done.written.push_back(t.file);
                break;
            case Replaced::NotAsPlanned:
                done.skipped.push_back(t.file);
                break;
            case Replaced::Failed:
                error = "cannot write " + t.file + ": " + why;
                return false;
        }
    }
    return true;
}

bool writeImport(const ImportPlan& plan, const std::string& dir, const ReplaceFiles& replaceAll,
                 const ReplaceFiles& putBack, std::string& error) {
    if (!writable(plan, error)) return false;
    const fs::path root = pathOf(dir);
    std::vector<const Target*> todo;
    std::vector<FileBytes> files;
    for (const Target& t : plan.targets) {
        if (t.status == Status::Same) continue;
        todo.push_back(&t);
        files.push_back({inFolder(root, t.file), t.bytes, t.status,
                         t.old ? std::string_view(*t.old) : std::string_view()});
    }
    if (files.empty()) return true;
    BatchFailure failure;
    if (replaceAll(files, failure)) return true;
    error = "cannot write " + todo[std::min(failure.failed, todo.size() - 1)]->file + ": " +
            failure.reason;
    // Put back what was renamed.
    restore(root, std::span(todo).first(std::min(failure.renamed, todo.size())), putBack, error);
    return false;
}

}  // namespace orbex::fleet
