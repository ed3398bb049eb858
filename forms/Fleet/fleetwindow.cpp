#include "forms/Fleet/fleetwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <span>

#include "fileio/fileio.h"
#include "forms/Fleet/fleeteditor.h"
#include "forms/Fleet/fleetparts.h"
#include "forms/Fleet/fleetpreview.h"
#include "forms/Fleet/fleetproxy.h"
#include "forms/Fleet/fleettexts.h"
#include "forms/Fleet/folderwatcher.h"
#include "forms/prompts.h"
#include "forms/qtext.h"
#include "model/fleet_disk.h"
#include "model/mac.h"
#include "model/reader.h"
#include "model/review.h"

using namespace orbex;
using namespace fleettexts;
namespace fl = orbex::fleet;

TFleet::TFleet(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Fleet");
    setWindowTitle("Парк терминалов");
    // Closing the main window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    model_ = new FleetModel(this);
    proxy_ = new FleetProxy(model_, this);
    watcher_ = new FolderWatcher(this);
    makeGrid();
    makeControls();
    dropLog();  // the log's columns show once a log is read
    resize(1000, 600);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    help->setObjectName("FleetHelp");
    connect(help, &QShortcut::activated, this, &TFleet::helpHere);

    connect(watcher_, &FolderWatcher::refreshDue, this, &TFleet::refreshNow);
    // What changed while the folder was read is read again once the table is painted.
    connect(model_, &FleetModel::loaded, this, [this] {
        updateStatus();
        watcher_->refreshSoon();
    });
}

void TFleet::makeGrid() {
    FleetGrid = new QTableView(this);
    FleetGrid->setObjectName("FleetGrid");
    FleetGrid->setModel(proxy_);
    FleetGrid->setSortingEnabled(true);
    FleetGrid->sortByColumn(FleetModel::File, Qt::AscendingOrder);
    FleetGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    FleetGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FleetGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FleetGrid->setAlternatingRowColors(true);
    FleetGrid->setWordWrap(false);
    FleetGrid->verticalHeader()->setDefaultSectionSize(FleetGrid->fontMetrics().height() + 6);
    FleetGrid->verticalHeader()->hide();
    FleetGrid->horizontalHeader()->setStretchLastSection(true);
    FleetGrid->horizontalHeader()->setDefaultSectionSize(120);
    FleetGrid->setColumnWidth(FleetModel::File, 220);
    FleetGrid->setColumnWidth(FleetModel::Kind, 60);
    FleetGrid->setColumnWidth(FleetModel::Mac, 170);
    FleetGrid->setColumnWidth(FleetModel::Findings, 90);
    FleetGrid->setColumnWidth(FleetModel::Requested, 150);
    FleetGrid->setColumnWidth(FleetModel::By, 110);
    connect(FleetGrid, &QTableView::doubleClicked, this, &TFleet::FleetGridDblClick);
    FleetGrid->installEventFilter(this);
    // The status line counts the rows shown and selected.
    connect(FleetGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFleet::updateStatus);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, &TFleet::updateStatus);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, &TFleet::updateStatus);
    connect(proxy_, &QAbstractItemModel::modelReset, this, &TFleet::updateStatus);
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, &TFleet::updateStatus);
}

void TFleet::makeFindingFilter() {
    FleetFindingFilter = new QComboBox(this);
    FleetFindingFilter->setObjectName("FleetFindingFilter");
    FleetFindingFilter->setToolTip("Показать только файлы с таким замечанием");
    // Narrower than its longest item on a small screen: the window fits it.
    FleetFindingFilter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    FleetFindingFilter->setMinimumContentsLength(12);
    FleetFindingFilter->addItem("Все файлы");
    FleetFindingFilter->addItem("С замечаниями", QString());
    for (std::string_view code : kFindingCodes)
        FleetFindingFilter->addItem(shortName(code), qs(code));
    FleetFindingFilter->addItem(kUnreadable, QString(kUnreadable));
    // From the TFTP server's log, once one is read.
    FleetFindingFilter->addItem("не запрашивались", QString(kNeverFetched));
    FleetFindingFilter->addItem("терминал взял другой файл", QString(kFellBack));
    // While a source is open: the files edited by hand since the last build, and those that
    // no row builds.
    FleetFindingFilter->addItem(kDrift, QString(kDrift));
    FleetFindingFilter->addItem(kOrphan, QString(kOrphan));
    connect(FleetFindingFilter, &QComboBox::currentIndexChanged, this, [this] {
        const QVariant code = FleetFindingFilter->currentData();
        proxy_->setFinding(code.isValid() ? std::optional(code.toString().toStdString())
                                          : std::nullopt);
    });
}

bool TFleet::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FleetGrid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFleet::openCurrent() {
    QModelIndex at = FleetGrid->currentIndex();
    if (!at.isValid() || !FleetGrid->selectionModel()->isRowSelected(at.row())) {
        const QModelIndexList rows = FleetGrid->selectionModel()->selectedRows();
        at = rows.isEmpty() ? QModelIndex() : rows.first();
    }
    FleetGridDblClick(at);
}

void TFleet::helpHere() {
    for (QWidget* w = QApplication::focusWidget(); w && w != this; w = w->parentWidget()) {
        const QString keyword = w->property("helpKeyword").toString();
        if (!keyword.isEmpty()) return emit helpRequested(keyword);
    }
    emit helpRequested("FLEET");
}

void TFleet::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!fitted_) fitToScreen();
    fitted_ = true;
}

void TFleet::fitToScreen() {
    const QScreen* s = screen();
    if (!s) return;
    const QRect area = s->availableGeometry();
    // The frame the window manager adds, as far as it is known yet; a title bar's worth else.
    const QRect frame = frameGeometry(), inner = geometry();
    const int frameW = std::max(frame.width() - inner.width(), 0);
    const int frameH = std::max(frame.height() - inner.height(), fontMetrics().height() * 2);
    const QSize room(area.width() - frameW, area.height() - frameH);
    resize(size().boundedTo(room));
    // Over the main window's middle, else the screen's, and wholly on the screen: a window
    // manager would put it over its parent, partly off a small screen.
    const QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
    const QPoint middle =
        over && over->isVisible() ? over->frameGeometry().center() : area.center();
    QRect placed(QPoint(), size() + QSize(frameW, frameH));
    placed.moveCenter(middle);
    placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() - placed.width() + 1));
    placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() - placed.height() + 1));
    move(placed.topLeft());
}

QPushButton* TFleet::makeButton(const char* name, const QString& caption, const QString& hint,
                                void (TFleet::*slot)()) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setToolTip(hint);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
}

void TFleet::makeControls() {
    FleetFilter = new QLineEdit(this);
    FleetFilter->setObjectName("FleetFilter");
    FleetFilter->setPlaceholderText("Фильтр по всем столбцам");
    FleetFilter->setClearButtonEnabled(true);
    connect(FleetFilter, &QLineEdit::textChanged, proxy_,
            [this](const QString& text) { proxy_->setSearch(text); });
    makeFindingFilter();

    FleetColumns = new QToolButton(this);
    FleetColumns->setObjectName("FleetColumns");
    FleetColumns->setText("Столбцы");
    FleetColumns->setToolTip("Добавить или убрать столбцы параметров");
    FleetColumns->setPopupMode(QToolButton::InstantPopup);
    buildColumnMenu();

    FleetWhich = new QLineEdit(this);
    FleetWhich->setObjectName("FleetWhich");
    FleetWhich->setPlaceholderText("MAC-адрес или имя компьютера");
    QPushButton* which = makeButton("FleetWhichButton", "Какой файл?",
                                    "Какой файл загрузит терминал с этим MAC-адресом или именем",
                                    &TFleet::FleetWhichClick);
    connect(FleetWhich, &QLineEdit::returnPressed, this, &TFleet::FleetWhichClick);
    FleetAnswer = new QLabel(this);
    FleetAnswer->setObjectName("FleetAnswer");

    QPushButton* edit = makeButton("FleetEdit", "Изменить выбранные...",
                                   "Задать или сбросить параметры во всех выбранных файлах",
                                   &TFleet::FleetEditClick);
    QPushButton* import =
        makeButton("FleetImport", "Импорт CSV...", "Создать или изменить файлы по таблице CSV",
                   &TFleet::FleetImportClick);
    FleetExportButton =
        makeButton("FleetExport", "Экспорт CSV...", "Сохранить параметры всех файлов в таблицу CSV",
                   &TFleet::FleetExportClick);
    FleetLogButton = makeButton("FleetLog", "Журнал TFTP...",
                                "Прочитать журнал TFTP-сервера: какие файлы запросили терминалы",
                                &TFleet::FleetLogClick);
    FleetLogButton->setProperty("helpKeyword", "FLOG");
    FleetLogSummary = new QLabel(this);
    FleetLogSummary->setObjectName("FleetLogSummary");
    FleetLogSummary->setWordWrap(true);
    FleetLogSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FleetLogSummary->hide();
    import->setProperty("helpKeyword", "FIMPORT");
    FleetExportButton->setProperty("helpKeyword", "FEXPORT");
    FleetStatus = new QLabel(this);
    FleetStatus->setObjectName("FleetStatus");
    FleetStatus->setWordWrap(true);  // two lines beside the buttons on a small screen
    layOut(which, edit, import);
}

void TFleet::layOut(QPushButton* which, QPushButton* edit, QPushButton* import) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Фильтр:", this));
    top->addWidget(FleetFilter, 2);
    top->addWidget(FleetFindingFilter);
    top->addWidget(FleetColumns);
    top->addSpacing(16);
    top->addWidget(FleetWhich, 1);
    top->addWidget(which);
    layout->addLayout(top);
    layout->addWidget(FleetAnswer);
    layout->addWidget(FleetLogSummary);
    layout->addWidget(FleetGrid, 1);
    layout->addLayout(makeSourceRow());
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(FleetStatus, 1);
    bottom->addWidget(edit);
    bottom->addWidget(import);
    bottom->addWidget(FleetExportButton);
    bottom->addWidget(FleetLogButton);
    layout->addLayout(bottom);
}

void TFleet::buildColumnMenu() {
    auto* menu = new QMenu(FleetColumns);
    menu->setObjectName("FleetColumnMenu");
    QMenu* sub = nullptr;
    QString page;
    for (const fleetparts::Choice& c : fleetparts::choices()) {
        if (!sub || c.page != page) {
            sub = menu->addMenu(c.page);
            page = c.page;
        }
        const Param& p = param(c.id);
        if (p.key == "MNAME" || p.key == "IP") continue;
        QAction* a = sub->addAction(QString("%1 (%2)").arg(c.caption, qs(p.key)));
        a->setObjectName("FleetColumn_" + qs(p.key));
        a->setCheckable(true);
        connect(a, &QAction::toggled, this, [this, id = c.id](bool on) {
            std::vector<Id> keys = model_->keys();
            std::erase(keys, id);
            if (on) keys.push_back(id);
            setKeys(keys);
        });
    }
    FleetColumns->setMenu(menu);
}

void TFleet::setKeys(const std::vector<Id>& keys) {
    // The model is laid out anew: the selection and the current row are put back by file.
    const std::vector<std::string> selected = selectedFiles();
    const QModelIndex current = FleetGrid->currentIndex();
    const std::string currentFile =
        current.isValid() ? model_->record(proxy_->mapToSource(current).row()).file : "";
    model_->setKeys(keys);
    QItemSelection selection;
    for (const std::string& f : selected) {
        const QModelIndex at = proxy_->mapFromSource(model_->index(model_->rowOf(qs(f)), 0));
        if (at.isValid()) selection.select(at, at);
    }
    const int row = currentFile.empty() ? -1 : model_->rowOf(qs(currentFile));
    if (row >= 0)
        FleetGrid->selectionModel()->setCurrentIndex(proxy_->mapFromSource(model_->index(row, 0)),
                                                     QItemSelectionModel::NoUpdate);
    FleetGrid->selectionModel()->select(
        selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    updateStatus();
}

QString TFleet::pathOf(const std::string& file) const {
    return QDir(model_->folder()).filePath(qs(file));
}

bool TFleet::openFolder(const QString& dir) {
    QString error;
    const QString full = QDir(dir).absolutePath();
    if (!model_->load(full, error)) {
        prompts::warn(this, "Ошибка", "Невозможно открыть папку!\n" + full + "\n" + error);
        return false;
    }
    setWindowTitle("Парк терминалов — " + QDir::toNativeSeparators(full));
    FleetAnswer->clear();
    dropLog();
    closeSource();  // a source builds the folder it was opened for
    // The files are watched once they are read (refreshNow): watching them meanwhile would
    // slow the reading down, and a change made meanwhile is seen by its time and size.
    watcher_->watchFolder(full);
    updateStatus();
    return true;
}

bool TFleet::settled() const {
    return watcher_->settled();
}

void TFleet::refreshNow() {
    if (model_->folder().isEmpty() || model_->loading()) return;  // again once it is read
    model_->refresh(watcher_->takeDirty());
    watcher_->watchFiles(model_->files());
    surveySource(true);
    updateStatus();
}

void TFleet::updateStatus() {
    FleetExportButton->setEnabled(!model_->loading());
    FleetLogButton->setEnabled(!model_->loading() && !model_->folder().isEmpty());
    if (model_->loading()) {
        FleetStatus->setText(QString("Файлов: %1, чтение...").arg(model_->rowCount()));
        return;
    }
    FleetStatus->setText(QString("Показано %1 из %2, выбрано %3; с замечаниями: %4")
                             .arg(proxy_->rowCount())
                             .arg(model_->rowCount())
                             .arg(FleetGrid->selectionModel()->selectedRows().size())
                             .arg(model_->withFindings()));
}

void TFleet::fileSaved(const QString& path) {
    if (source_.holds(path)) return sourceSaved();
    const QFileInfo info(path);
    if (model_->folder().isEmpty() ||
        QDir(info.absolutePath()).canonicalPath() != QDir(model_->folder()).canonicalPath())
        return;
    watcher_->markDirty(info.fileName());
    watcher_->refreshSoon();
}

std::vector<std::string> TFleet::selectedFiles() const {
    std::vector<std::string> out;
    for (const QModelIndex& i : FleetGrid->selectionModel()->selectedRows())
        out.push_back(model_->record(proxy_->mapToSource(i).row()).file);
    std::sort(out.begin(), out.end());
    return out;
}

void TFleet::selectFile(const QString& file) {
    const int row = model_->rowOf(file);
    if (row < 0) return;
    QModelIndex at = proxy_->mapFromSource(model_->index(row, 0));
    if (!at.isValid()) {  // hidden by the filter
        FleetFilter->clear();
        at = proxy_->mapFromSource(model_->index(row, 0));
    }
    FleetGrid->selectionModel()->select(
        at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    FleetGrid->setCurrentIndex(at);
    FleetGrid->scrollTo(at);
}
void TFleet::FleetWhichClick() {
    const QString text = FleetWhich->text().trimmed();
    if (text.isEmpty()) {
        FleetAnswer->setText("Введите MAC-адрес или имя компьютера.");
        return;
    }
    std::optional<std::string> mac = parseMac(text.toStdString()), name;
    if (!mac) name = text.toStdString();
    const std::vector<std::string> files = model_->files();
    const auto file = fl::resolve(files, mac, name);
    if (!file) {
        FleetAnswer->setText(QString("Для терминала %1 нет ни своего файла, ни default.cfg: он "
                                     "не получит настроек.")
                                 .arg(text));
        FleetGrid->clearSelection();
        return;
    }
    if (*file == fl::kCommonFile) {
        FleetAnswer->setText(
            QString("Своего файла у терминала %1 нет: он загрузит общий файл default.cfg.")
                .arg(text));
    } else {
        FleetAnswer->setText(QString("Терминал %1 загрузит файл %2.").arg(text, qs(*file)));
    }
    selectFile(qs(*file));
}

void TFleet::FleetGridDblClick(const QModelIndex& index) {
    if (!index.isValid()) return;
    const fl::Record& r = model_->record(proxy_->mapToSource(index).row());
    emit openRequested(pathOf(r.file));
}

bool TFleet::confirm(const QString& summary, const QString& text, bool writable,
                     const QString& helpKeyword, const QString& accept) {
    if (!preview_) {
        preview_ = new FleetPreview(this);
        connect(preview_, &FleetPreview::helpRequested, this, &TFleet::helpRequested);
    }
    preview_->show(summary, text, writable, accept);
    preview_->setProperty("helpKeyword", helpKeyword);
    return prompts::exec(preview_) == QDialog::Accepted && writable;
}

void TFleet::FleetEditClick() {
    const std::vector<std::string> files = selectedFiles();
    if (files.empty()) {
        prompts::inform(this, "Информация", "Выберите в таблице файлы, которые нужно изменить.");
        return;
    }
    if (!editor_) {
        editor_ = new FleetEditor(this);
        connect(editor_, &FleetEditor::helpRequested, this, &TFleet::helpRequested);
    }
    editor_->clear();
    // "Отмена" in the preview goes back to the editor, its choices kept.
    for (;;) {
        if (prompts::exec(editor_) != QDialog::Accepted) return;
        const std::vector<Change> changes = editor_->changes();
        if (changes.empty()) return;
        const fl::ImportPlan plan =
            fl::planEdit(model_->folder().toStdString(), files, changes, readBounded);
        if (previewEdit(plan, files.size())) return writeEdit(plan);
    }
}

bool TFleet::previewEdit(const fl::ImportPlan& plan, std::size_t files) {
    QString text;
    int changed = 0;
    for (fl::Refusal r : plan.refusals) {
        r.subject.clear();  // the file is named before
        if (r.code == fl::RefusalCode::CannotRead) r.subject = r.header;
        text += qs(r.header) + ": отказ — " + refusalText(r) + "\n";
    }
    for (const fl::Target& t : plan.targets) {
        if (t.status == fl::Status::Same) {
            text += qs(t.file) + ": без изменений\n";
            continue;
        }
        ++changed;
        text += qs(t.file) + "\n" + diffLines(*t.old, t.bytes);
    }
    const QString summary =
        !plan.refusals.empty()
            ? QString("Изменение невозможно: ничего не будет записано (отказов: %1).")
                  .arg(plan.refusals.size())
            : QString("Выбрано файлов: %1, изменятся: %2.").arg(files).arg(changed);
    return confirm(summary, text, plan.refusals.empty() && changed > 0, "FLEET");
}

void TFleet::writeEdit(const fl::ImportPlan& plan) {
    // One file after another, each replaced whole and only while it holds what the preview
    // showed: a file that another program changed or removed meanwhile is skipped and named,
    // the others go on. The first failure stops the rest.
    QString failedPath, failedReason;
    const auto replace = [&](const std::string& path, std::string_view bytes,
                             const std::optional<std::string>& old, std::string& why) {
        fileio::Error e;
        fileio::ReplaceOptions asPlanned;
        asPlanned.expect = old ? fileio::Expected::holding(*old) : fileio::Expected::absent();
        if (fileio::replaceFile(path, bytes, e, asPlanned)) return fl::Replaced::Yes;
        if (e.kind == fileio::Kind::Changed) return fl::Replaced::NotAsPlanned;
        failedPath = QDir::toNativeSeparators(qs(path));
        failedReason = qs(fileio::russianReason(e));
        why = e.message();
        return fl::Replaced::Failed;
    };
    fl::WrittenInOrder done;
    std::string error;
    const bool ok = fl::writeInOrder(plan, model_->folder().toStdString(), replace, done, error);
    for (const std::string& f : done.written) watcher_->markDirty(qs(f));
    for (const std::string& f : done.skipped) watcher_->markDirty(qs(f));
    refreshNow();
    QString skipped;
    if (!done.skipped.empty()) {
        skipped = "\nНе записаны: другая программа изменила или удалила их после просмотра:";
        for (const std::string& f : done.skipped) skipped += "\n" + qs(f);
    }
    if (!ok) {
        QString written = "Ни один файл не изменен.";
        if (!done.written.empty()) {
            written = "Уже записаны:";
            for (const std::string& f : done.written) written += "\n" + qs(f);
        }
        prompts::warn(
            this, "Ошибка",
            "Файл не сохранен!\n" + failedPath + "\n" + failedReason + "\n" + written + skipped);
        return;
    }
    const QString count = QString("Изменено файлов: %1").arg(done.written.size());
    if (!skipped.isEmpty()) {
        prompts::warn(this, "Внимание", count + skipped);
        return;
    }
    prompts::inform(this, "Информация", count);
}

QFileDialog* TFleet::fileDialog(QFileDialog*& dialog, const char* name, const QString& caption,
                                const QString& filters, bool save) {
    if (!dialog) {
        dialog = new QFileDialog(this, caption, QString(), filters);
        dialog->setObjectName(name);
        dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    }
    dialog->setDirectory(model_->folder());
    return dialog;
}

void TFleet::dropLog() {
    model_->setLog(nullptr);
    FleetGrid->setColumnHidden(FleetModel::Requested, true);
    FleetGrid->setColumnHidden(FleetModel::By, true);
    log_ = FleetLog();
    FleetLogSummary->clear();
    FleetLogSummary->hide();
}

void TFleet::FleetLogClick() {
    if (!logDialog_) {
        fileDialog(logDialog_, "FleetLogDialog", "Журнал TFTP-сервера",
                   "Журналы (*.log *.log.* *.gz syslog* messages* daemon.log*);;Все файлы (*)",
                   false);
        // Where the servers of a Linux machine log; elsewhere the fleet's folder.
        if (QDir("/var/log").exists()) logDialog_->setDirectory("/var/log");
    }
    const QString path = prompts::filePath(logDialog_);
    if (path.isEmpty()) return;
    FleetLog log;
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = log.read(path, model_->folder(), error);
    QApplication::restoreOverrideCursor();
    if (!read) {
        prompts::warn(this, "Ошибка", error);
        return;
    }
    model_->setLog(nullptr);  // the model never holds a log that is being replaced
    log_ = std::move(log);
    model_->setLog(&log_);
    FleetGrid->setColumnHidden(FleetModel::Requested, false);
    FleetGrid->setColumnHidden(FleetModel::By, false);
    FleetLogSummary->setText(log_.summary());
    FleetLogSummary->show();
    updateStatus();
}
