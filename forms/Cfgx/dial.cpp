#include "forms/Cfgx/dial.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>
#include <utility>

#include "forms/labels.h"
#include "forms/prompts.h"
#include "forms/qtext.h"

namespace {

constexpr int kColumns = 5;  // description, key, value, value length, shown text

// A row's cells, column by column.
std::array<std::string_view, kColumns> cellsOf(const orbex::ReviewRow& row) {
    return {row.description, row.key, row.value, row.valueLength, row.shownText};
}

}  // namespace

Tdial::Tdial(QWidget* parent) : QDialog(parent) {
    setObjectName("dial");
    setWindowTitle("Результирующий файл конфигурации");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    StaticText1 = new QLabel("Результирующий файл конфигурации", this);
    StaticText1->setObjectName("StaticText1");
    StaticText1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticText1->setAlignment(Qt::AlignCenter);
    StaticText1->setFont(titleFont());

    makeGrid();
    makeMenu();

    Button1 = new QPushButton("Ок", this);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    connect(Button1, &QPushButton::clicked, this, &Tdial::Button1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StaticText1);
    layout->addWidget(grid, 1);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    setFixedSize(616, 451);
    setTable({});
}

// The table of the review: its hidden columns keep what a copy needs.
void Tdial::makeGrid() {
    grid = new QTableWidget(1, kColumns, this);
    grid->setObjectName("table");
    grid->setHorizontalHeaderLabels(
        {"Описание параметра", "Название параметра", "Значение параметра", "", ""});
    grid->setColumnHidden(3, true);
    grid->setColumnHidden(4, true);
    grid->setColumnWidth(0, 200);
    grid->setColumnWidth(1, 183);
    grid->setColumnWidth(2, 172);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setShowGrid(true);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
}

// The table's menu: copies of a cell or of a whole setting line.
void Tdial::makeMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    const auto item = [this](const char* name, const QString& caption, void (Tdial::*slot)()) {
        QAction* a = PopupMenu1->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    item("N2", "Копировать описание", &Tdial::N2Click);
    item("N1", "Копировать название", &Tdial::N1Click);
    item("N3", "Копировать значение", &Tdial::N3Click);
    QAction* n4 = item("N4", "Копировать строчку настройки", &Tdial::N4Click);
    n4->setShortcut(QKeySequence("Ctrl+C"));
    n4->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    grid->addAction(n4);
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(grid->viewport()->mapToGlobal(at)); });
    connect(grid, &QTableWidget::cellDoubleClicked, this, &Tdial::N4Click);
}

void Tdial::setTable(orbex::ReviewTable table) {
    const orbex::ReviewTable shown = std::exchange(table_, std::move(table));
    const int rows = static_cast<int>(table_.size());
    grid->setRowCount(rows + 1);  // and the trailing empty row
    for (int c = 0; c < kColumns; ++c) delete grid->takeItem(rows, c);
    // The cells of the last review are kept, and only those whose text differs are changed: a
    // review of the same configuration again touches nothing. The grid holds the cells of
    // `shown`, each row in full.
    for (int r = 0; r < rows; ++r) {
        const orbex::ReviewRow& row = table_[static_cast<std::size_t>(r)];
        const orbex::ReviewRow* before =
            r < static_cast<int>(shown.size()) ? &shown[static_cast<std::size_t>(r)] : nullptr;
        if (before && *before == row) continue;
        const auto cells = cellsOf(row);
        for (int c = 0; c < kColumns; ++c) {
            if (before && cellsOf(*before)[std::size_t(c)] == cells[std::size_t(c)]) continue;
            const QString text = qs(cells[std::size_t(c)]);
            QTableWidgetItem* item = grid->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                grid->setItem(r, c, item);
            }
            item->setText(text);
            item->setToolTip(text);  // a long port value or description, whole
        }
    }
    grid->setCurrentCell(0, 0);
}

const orbex::ReviewRow* Tdial::currentRow() const {
    const int r = grid->currentRow();
    if (r < 0 || r >= static_cast<int>(table_.size())) return nullptr;
    return &table_[static_cast<std::size_t>(r)];
}

void Tdial::copy(const QString& text) {
    QApplication::clipboard()->setText(text);
}

void Tdial::Button1Click() {
    accept();
}

void Tdial::N1Click() {
    if (const auto* row = currentRow()) copy(qs(row->key));
}

void Tdial::N2Click() {
    if (const auto* row = currentRow()) copy(qs(row->description));
}

void Tdial::N3Click() {
    if (const auto* row = currentRow()) copy(qs(row->value));
}

void Tdial::N4Click() {
    const auto* row = currentRow();
    if (!row) return;
    copy(qs(orbex::settingText(*row)));
    prompts::inform(
        this, "Буфер обмена",
        "В буфер обмена помещена следующая информация:\n" + QApplication::clipboard()->text());
}
