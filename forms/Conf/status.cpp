#include "forms/Conf/status.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "forms/findingtexts.h"
#include "forms/qtext.h"
#include "model/lint.h"

using namespace orbex;

namespace {
constexpr auto kNoFile = "Новый файл";
}

StatusLine::StatusLine(QMainWindow& window, QLabel* banner)
    : QObject(&window), window_(window), banner_(banner) {
    setObjectName("StatusLine");
    QStatusBar* bar = window.statusBar();
    StatusPath = new QLabel(kNoFile);
    StatusPath->setObjectName("StatusPath");
    // A long path is cut at the window's edge, never widens it; the whole of it in the tooltip.
    StatusPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar->addWidget(StatusPath, 1);

    StatusDropped = new QToolButton;
    StatusDropped->setObjectName("StatusDropped");
    StatusDropped->setAutoRaise(true);
    StatusDropped->setToolTip("Строки файла, которые не прочитаны и не будут сохранены");
    StatusDropped->hide();
    connect(StatusDropped, &QToolButton::clicked, this, &StatusLine::showDropped);
    bar->insertPermanentWidget(1, StatusDropped);

    StatusModified = new QLabel("Изменён");
    StatusModified->setObjectName("StatusModified");
    StatusModified->setToolTip("Есть изменения после открытия или сохранения файла");
    StatusModified->hide();
    bar->insertPermanentWidget(2, StatusModified);

    StatusDisk = new QLabel;
    StatusDisk->setObjectName("StatusDisk");
    StatusDisk->hide();
    bar->insertPermanentWidget(3, StatusDisk);

    banner_->installEventFilter(this);
}

void StatusLine::diskState(DiskCopy::State state) {
    switch (state) {
        case DiskCopy::State::Same:
            StatusDisk->hide();
            return;
        case DiskCopy::State::Changed:
            StatusDisk->setText("Изменён на диске");
            StatusDisk->setToolTip(
                "Другая программа изменила файл после того, как он был открыт или сохранен");
            break;
        case DiskCopy::State::Removed:
            StatusDisk->setText("Удалён с диска");
            StatusDisk->setToolTip(
                "Другая программа удалила файл после того, как он был открыт или сохранен");
            break;
    }
    StatusDisk->show();
}

bool StatusLine::eventFilter(QObject* watched, QEvent* event) {
    if (watched == banner_ && event->type() == QEvent::DynamicPropertyChange) showPath();
    return false;
}

void StatusLine::showPath() {
    const QString path = banner_->property("hint").toString();
    StatusPath->setText(path.isEmpty() ? QString(kNoFile) : path);
    StatusPath->setToolTip(path);
}

void StatusLine::setChanged(bool changed) {
    changed_ = changed;
    StatusModified->setVisible(changed);
}

void StatusLine::setDropped(const std::optional<QStringList>& rows) {
    rows_ = rows.value_or(QStringList());
    StatusDropped->setText(QString("Пропущено строк: %1").arg(rows_.size()));
    StatusDropped->setEnabled(!rows_.isEmpty());
    StatusDropped->setVisible(rows.has_value());
    // The list beside the window follows; it goes with the lines.
    if (!droppedWindow_) return;
    fillDropped();
    if (!rows) droppedWindow_->hide();
}

void StatusLine::opened(std::string_view bytes, const MemoryStore& read) {
    rows_.clear();
    for (const Finding& f : droppedLines(bytes, read))
        rows_ << QString::number(f.line) + '\t' + qs(f.key) + '\t' + findingtexts::lintText(f);
    setDropped(rows_);
}

// A window of its own beside the main one, not modal: the lines stay in view while editing.
void StatusLine::showDropped() {
    if (!droppedWindow_) {
        droppedWindow_ = new QWidget(&window_, Qt::Tool);
        droppedWindow_->setObjectName("DroppedLines");
        droppedTable_ = new QTableWidget(0, 3, droppedWindow_);
        droppedTable_->setObjectName("DroppedTable");
        droppedTable_->setHorizontalHeaderLabels({"Строка", "Параметр", "Причина"});
        droppedTable_->verticalHeader()->hide();
        droppedTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        droppedTable_->horizontalHeader()->setStretchLastSection(true);
        auto* layout = new QVBoxLayout(droppedWindow_);
        layout->addWidget(droppedTable_);
        droppedWindow_->resize(620, 300);
    }
    fillDropped();
    droppedWindow_->show();
    droppedWindow_->raise();
}

void StatusLine::fillDropped() {
    droppedWindow_->setWindowTitle("Пропущенные строки: " + banner_->text());
    droppedTable_->setRowCount(static_cast<int>(rows_.size()));
    for (int r = 0; r < rows_.size(); ++r) {
        const QStringList cells = rows_[r].split('\t');
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(cells.value(c));
            item->setToolTip(item->text());
            droppedTable_->setItem(r, c, item);
        }
    }
    droppedTable_->resizeColumnToContents(0);
    droppedTable_->resizeColumnToContents(1);
}
