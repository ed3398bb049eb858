// The errors of the file library: how they are made, and how they read in English and Russian.
#include <cerrno>
#include <utility>

#include "fileio/platform.h"

namespace orbex::fileio {

static_assert(kInputLimit % (std::size_t{1} << 20) == 0, "the bound is spelled in whole MiB");

std::string inputLimitText(bool russian) {
    return std::to_string(kInputLimit >> 20) + (russian ? " МиБ" : " MiB");
}

Failure systemFailure(int code) {
    return {Kind::System, code, systemReason(code)};
}

Failure isDirectory() {
    return {Kind::NotFile, EISDIR, "is a directory"};
}

Failure notRegular() {
    return {Kind::NotFile, EINVAL, "not a regular file"};
}

Error makeError(Kind kind, int code, const std::string& path, std::string reason, bool writing,
                bool opening) {
    Error e;
    e.kind = kind;
    e.code = code;
    e.path = path;
    e.reason = std::move(reason);
    e.writing = writing;
    e.opening = opening;
    return e;
}

Error errorOf(const Failure& failure, const std::string& path, bool writing, bool opening) {
    return makeError(failure.kind, failure.code, path, failure.reason, writing, opening);
}

Error tooLargeError(const std::string& path, bool opening) {
    return makeError(Kind::TooLarge, EFBIG, path, "larger than " + inputLimitText(), false,
                     opening);
}

Error changedError(const std::string& path, int code, bool opening) {
    const char* reason = code == EEXIST   ? "created by another program since it was read"
                         : code == ENOENT ? "removed by another program since it was read"
                                          : "changed by another program since it was read";
    return makeError(Kind::Changed, code, path, reason, true, opening);
}

Error interruptedError(const std::string& path, bool opening) {
    return makeError(Kind::Interrupted, EINTR, path, "interrupted by a signal", true, opening);
}

std::string Error::message() const {
    if (kind == Kind::TooLarge)
        return path + " is larger than " + inputLimitText() + ": not a terminal configuration";
    return path + ": " + reason;
}

namespace {

// The Russian words of a failure of the system where they are known ones; else its own.
std::string russianSystemReason(const Error& e) {
    switch (e.code) {
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return "нет места на диске";
        case EACCES:
        case EPERM:
            return "нет прав доступа";
        case EROFS:
            return "файловая система только для чтения";
        case EFBIG:
            return "файл слишком большой";
        case ENOENT:
            return e.writing ? "нет такой папки" : "нет такого файла";
        case ENOTDIR:
            return "нет такой папки";
        case EISDIR:
            return "это папка, а не файл";
        case ENAMETOOLONG:
            return "слишком длинное имя файла";
        case EIO:
            return "ошибка ввода-вывода";
        default:
            return e.reason;
    }
}

}  // namespace

std::string russianReason(const Error& e) {
    switch (e.kind) {
        case Kind::None:
            return {};
        case Kind::TooLarge:
            return "файл больше " + inputLimitText(true) + ": это не файл конфигурации терминала";
        case Kind::ReadOnly:
            return "файл только для чтения";
        case Kind::NotFile:
            return e.code == EISDIR ? "это папка, а не файл" : "это не файл";
        case Kind::Interrupted:
            return "прервано сигналом";
        case Kind::Changed:
            return e.code == EEXIST ? "файл создан другой программой после чтения"
                   : e.code == ENOENT ? "файл удалён другой программой после чтения"
                                      : "файл изменён другой программой после чтения";
        case Kind::System:
            break;
    }
    return russianSystemReason(e);
}

}  // namespace orbex::fileio
