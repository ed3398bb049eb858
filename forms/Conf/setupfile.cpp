// The main window's file: opening, the review and the save, the fleet window, undo and a
// file dropped on the window.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QStatusBar>
#include <QUrl>
#include <span>

#include "fileio/fileio.h"
#include "forms/Cfgx/dial.h"
#include "forms/Conf/diskcopy.h"
#include "forms/Conf/setup.h"
#include "forms/Conf/status.h"
#include "forms/Fleet/fleetwindow.h"
#include "forms/Save/sv.h"
#include "forms/labels.h"
#include "forms/prompts.h"
#include "forms/qtext.h"
#include "forms/workdir.h"
#include "model/reader.h"
#include "model/review.h"
#include "model/writer.h"

using namespace orbex;

namespace {
constexpr int kMessageMs = 10000;  // how long the status bar says what an undo did
}  // namespace

// --- Open, review, save.

bool TSetup::openFile(const QString& path) {
    fileio::Error error;
    const auto bytes = fileio::readFile(ss(path), error);
    if (!bytes) {
        prompts::message(
            this, prompts::Icon::Critical, "Ошибка",
            "Невозможно открыть файл!\n" + path + "\n" + qs(fileio::russianReason(error)));
        return false;
    }
    const History::Step step(*history_, "открытие файла " + QFileInfo(path).fileName());
    const QString full = QFileInfo(path).absoluteFilePath();
    const QString target = QDir::toNativeSeparators(full);
    startFile(QFileInfo(path).fileName(), target);
    // Read into memory first, then shown: a control that already shows its value is not set
    // twice (unset, then the file's value), which keeps an open quick.
    readConfig(*bytes, read_);
    showConfig(read_);
    status_->opened(*bytes, read_);
    history_->read(target, *bytes, shownConfig(), status_->dropped());
    dropsShown_ = true;
    disk_->set(full, *bytes);
    return true;
}

// Made at its first use: a file dialog is slow to build and would slow down every start.
QFileDialog* TSetup::openDialog() {
    if (OpenD) return OpenD;
    OpenD = new QFileDialog(this, QString(), QString(), "Файлы конфигурации ORBEX (*.cfg)");
    OpenD->setObjectName("OpenD");
    OpenD->setFileMode(QFileDialog::ExistingFile);
    OpenD->setAcceptMode(QFileDialog::AcceptOpen);
    OpenD->setOption(QFileDialog::ReadOnly, false);
    if (QDir(kConfigFolder).exists()) OpenD->setDirectory(kConfigFolder);
    return OpenD;
}

void TSetup::Button4Click() {
    startInFolderOf(openDialog(), disk_->path());
    const QString path = prompts::filePath(openDialog());
    if (!path.isEmpty()) openFile(path);
}

void TSetup::BuildReviewTable() {
    dial()->setTable(orbex::BuildReviewTable(
        *this, [this](Id id) { prompts::warn(this, "Внимание", qs(warningText(param(id).key))); }));
}

void TSetup::Button3Click() {
    const History::Step step(*history_, "сброс неверных значений");
    BuildReviewTable();
    prompts::exec(dial());
}

void TSetup::Button1Click() {
    // The values that the review resets are a step of their own.
    const History::Step step(*history_, "сброс неверных значений");
    BuildReviewTable();
    const std::string bytes = WriteConfig(dial()->reviewTable());
    const QString shownBefore = StaticText2->text(),
                  targetBefore = StaticText2->property("hint").toString();
    if (targetBefore.isEmpty()) {
        SV()->startIn(disk_->path());
        prompts::exec(SV());
    }
    const QString target = StaticText2->property("hint").toString();
    if (target.isEmpty()) return;  // no target chosen: nothing is saved

    // Written beside the target and put in its place in one step: the old file survives any
    // failure, and nothing is left behind. The banner keeps what it showed.
    const Saved saved = replaceTarget(target, bytes);
    if (saved != Saved::Yes) {
        if (saved == Saved::No) {
            StaticText2->setText(shownBefore);
            setHint(StaticText2, targetBefore, true);
        }
        return;
    }
    disk_->set(target, bytes);
    history_->written(target, bytes, shownConfig());
    showDrops();
    emit fileSaved(target);

    prompts::inform(this, "Информация",
                    "Файл с настройками сохранен под именем\n" + StaticText2->text());
}

TSetup::Saved TSetup::replaceTarget(const QString& target, const std::string& bytes) {
    fileio::Error error;
    fileio::ReplaceOptions asRead;
    asRead.expect = disk_->expectFor(target);
    // A file saved under a new name is no more open than the file it was made from.
    if (!disk_->path().isEmpty()) {
        const std::string shown = ss(disk_->path());
        asRead.newFileMode = fileio::newFileMode(std::span(&shown, 1));
    }
    if (fileio::replaceFile(ss(target), bytes, error, asRead)) return Saved::Yes;
    if (error.kind == fileio::Kind::Changed) {
        const bool removed = !QFileInfo::exists(target);
        const int answer = prompts::ask(
            this, "Подтверждение",
            "Файл\n" + QDir::toNativeSeparators(target) + "\n" +
                (removed ? "удален другой программой после того, как был открыт."
                         : "изменен другой программой после того, как был открыт.") +
                "\nЗаписать в него настройки из окна, прочитать его заново или отменить "
                "сохранение?",
            {"Записать", "Прочитать заново", "Отмена"});
        if (answer == 1) return openFile(target) ? Saved::Reloaded : Saved::No;
        if (answer != 0) return Saved::No;
        error = {};
        asRead.expect = {};
        if (fileio::replaceFile(ss(target), bytes, error, asRead)) return Saved::Yes;
    }
    prompts::warn(
        this, "Ошибка",
        QString(error.opening ? "Не могу открыть файл для записи!" : "Файл не сохранен!") + "\n" +
            target + "\n" + qs(fileio::russianReason(error)));
    return Saved::No;
}

void TSetup::diskStateChanged() {
    const DiskCopy::State state = disk_->state();
    status_->diskState(state);
    // An editor without changes of its own offers the new file; one with changes is told in
    // the status bar, and its save asks before overwriting.
    if (state != DiskCopy::State::Changed || status_->changed() ||
        QApplication::activeModalWidget())
        return;
    const QString path = disk_->path();
    if (prompts::ask(this, "Подтверждение",
                     "Файл\n" + QDir::toNativeSeparators(path) +
                         "\nизменен на диске другой программой. Прочитать его заново?",
                     {"Прочитать заново", "Оставить"}) == 0)
        openFile(path);
}

void TSetup::N14Click() {
    const QString hint = StaticText2->property("hint").toString();
    if (!hint.isEmpty()) {
        SV()->prepareSaveAs(hint);
    } else if (StaticText2->text() != kNewFile) {
        SV()->prepareSaveAs(StaticText2->text());
    } else {
        SV()->prepareSaveAs(QString());
    }
    setHint(StaticText2, QString(), true);
    Button1Click();
}

void TSetup::N24Click() {
    const QString dir = prompts::folder(this, "Парк терминалов: папка с файлами конфигурации",
                                        fleet_ ? fleet_->model()->folder() : QString());
    if (!dir.isEmpty()) showFleet(dir);
}

TFleet* TSetup::showFleet(const QString& dir) {
    if (!fleet_) {
        fleet_ = new TFleet(this);
        connect(this, &TSetup::fileSaved, fleet_, &TFleet::fileSaved);
        connect(fleet_, &TFleet::helpRequested, this, &TSetup::showHelp);
        connect(fleet_, &TFleet::openRequested, this, [this](const QString& path) {
            if (!openFile(path)) return;
            show();
            raise();
            activateWindow();
        });
    }
    fleet_->show();
    fleet_->raise();
    fleet_->activateWindow();
    fleet_->openFolder(dir);
    return fleet_;
}

void TSetup::StaticText2DblClick() {
    SV()->startIn(disk_->path());
    prompts::exec(SV());
    historyChanged();  // a new target holds nothing of the window yet
}

// --- Undo.

void TSetup::N26Click() {
    const QString message = history_->undo();
    if (!message.isEmpty()) statusBar()->showMessage(message, kMessageMs);
}

void TSetup::N27Click() {
    const QString message = history_->redo();
    if (!message.isEmpty()) statusBar()->showMessage(message, kMessageMs);
}

void TSetup::historyChanged() {
    statusBar()->clearMessage();  // what the last undo did: a change since makes it old news
    status_->setChanged(history_->modified());
    N26->setEnabled(history_->canUndo());
    N27->setEnabled(history_->canRedo());
    const QString undo = history_->undoText(), redo = history_->redoText();
    N26->setStatusTip(undo.isEmpty() ? QString() : "Отменить: " + undo);
    N27->setStatusTip(redo.isEmpty() ? QString() : "Повторить: " + redo);
}

History::FileView TSetup::fileView() const {
    return {StaticText2->text(), StaticText2->property("hint").toString()};
}

void TSetup::showStep(const History::Shown& s, bool fileChanged) {
    if (fileChanged) {
        StaticText2->setText(s.file->name);
        setHint(StaticText2, s.file->path, true);
        if (const History::Record* r = history_->record(s.file->path)) {
            disk_->set(s.file->path, r->bytes);
        } else {
            disk_->clear();
        }
    }
    showConfig(s.config);
    dropsShown_ = s.dropsShown;
    showDrops();
}

void TSetup::showDrops() {
    const History::Record* r = history_->record(StaticText2->property("hint").toString());
    status_->setDropped(dropsShown_ && r ? r->dropped : std::nullopt);
}

// A dropped file is only read: the drop is taken as a copy whatever the source proposes, so
// that a source honouring Move never deletes the original.
static bool acceptAsCopy(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile() ||
        !urls.first().toLocalFile().endsWith(".cfg", Qt::CaseInsensitive) ||
        !(event->possibleActions() & Qt::CopyAction))
        return false;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

void TSetup::dragEnterEvent(QDragEnterEvent* event) {
    acceptAsCopy(event);
}

void TSetup::dropEvent(QDropEvent* event) {
    if (acceptAsCopy(event)) openFile(event->mimeData()->urls().first().toLocalFile());
}
