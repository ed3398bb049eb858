#include "forms/Conf/history.h"

#include <QSet>

#include "forms/qtext.h"

using namespace orbex;

History::History(Window& window, QObject* parent) : QObject(parent), window_(window) {
    setObjectName("History");
    file_ = std::make_shared<FileView>();
}

History::Step::Step(History& history, QString what) : history_(history), what_(std::move(what)) {
    if (history_.depth_++ == 0) {
        history_.commitTyping();
        history_.sync();
    }
}

History::Step::~Step() {
    if (--history_.depth_ != 0) return;
    history_.push(history_.capture(), what_);
    emit history_.stateChanged();
}

void History::restart() {
    file_ = std::make_shared<FileView>(window_.fileView());
    typing_.reset();
    states_.clear();
    states_.push_back(capture());
    at_ = 0;
    prune();
    emit stateChanged();
}

void History::sync() const {
    *file_ = window_.fileView();
}

History::Shown History::capture() const {
    sync();
    return {window_.shownConfig(), file_, window_.dropsShown(), {}};
}

void History::push(Shown s, const QString& what) {
    if (s == states_[at_]) return;
    s.what = what;
    states_.resize(at_ + 1);
    states_.push_back(std::move(s));
    ++at_;
    if (states_.size() > kLimit + 1) {
        states_.erase(states_.begin(),
                      states_.begin() + static_cast<std::ptrdiff_t>(states_.size() - kLimit - 1));
        at_ = states_.size() - 1;
    }
    prune();
}

// Only the files that a step can show again are kept.
void History::prune() {
    QSet<QString> shown{file_->path};
    for (const Shown& s : states_) shown.insert(s.file->path);
    for (auto i = records_.begin(); i != records_.end();)
        i = shown.contains(i.key()) ? std::next(i) : records_.erase(i);
}

void History::changed(Id id, bool typing) {
    if (depth_ > 0 || restoring_) return;
    if (typing_ && *typing_ != id) commitTyping();
    if (typing) {
        typing_ = id;
    } else {
        push(capture(), "изменение " + qs(param(id).key));
    }
    emit stateChanged();
}

void History::endTyping() {
    if (!typing_) return;
    commitTyping();
    emit stateChanged();
}

// The typed parameter is all that differs from the last step: the step before another change
// is that step with the typed value.
void History::commitTyping() {
    if (!typing_) return;
    const Id id = *typing_;
    typing_.reset();
    Shown s = states_[at_];
    window_.copyParam(id, s.config);
    push(std::move(s), "ввод " + qs(param(id).key));
}

void History::startFile() {
    file_ = std::make_shared<FileView>(window_.fileView());
}

void History::read(const QString& path, std::string bytes, MemoryStore config,
                   QStringList dropped) {
    records_[path] = {std::move(bytes), std::move(config), std::move(dropped)};
}

void History::written(const QString& path, std::string bytes, MemoryStore config) {
    records_[path] = {std::move(bytes), std::move(config), std::nullopt};
    emit stateChanged();
}

const History::Record* History::record(const QString& path) const {
    const auto i = records_.constFind(path);
    return path.isEmpty() || i == records_.cend() ? nullptr : &*i;
}

bool History::canUndo() const {
    return at_ > 0 || typing_;
}

bool History::canRedo() const {
    return at_ + 1 < states_.size() && !typing_;
}

QString History::undoText() const {
    if (typing_) return "ввод " + qs(param(*typing_).key);
    return at_ > 0 ? states_[at_].what : QString();
}

QString History::redoText() const {
    return canRedo() ? states_[at_ + 1].what : QString();
}

// What an undo says of the file it shows again.
QString History::fileNote(const Shown& from, const Shown& to) {
    if (from.file == to.file) return {};
    return to.file->path.isEmpty() ? "; снова новый файл" : "; снова открыт файл " + to.file->name;
}

QString History::undo() {
    commitTyping();
    if (at_ == 0) return {};
    sync();
    const Shown& from = states_[at_];
    const QString message = "Отменено: " + from.what + fileNote(from, states_[at_ - 1]);
    restore(at_ - 1);
    return message;
}

QString History::redo() {
    commitTyping();
    if (at_ + 1 >= states_.size()) return {};
    sync();
    const Shown& to = states_[at_ + 1];
    const QString message = "Повторено: " + to.what;
    restore(at_ + 1);
    return message;
}

void History::restore(std::size_t to) {
    const bool fileChanged = states_[to].file != file_;
    at_ = to;
    file_ = states_[to].file;
    restoring_ = true;
    window_.showStep(states_[to], fileChanged);
    restoring_ = false;
    emit stateChanged();
}

bool History::modified() const {
    static const MemoryStore unset;
    sync();
    const Record* r = record(file_->path);
    return !(window_.shownConfig() == (r ? r->config : unset));
}
