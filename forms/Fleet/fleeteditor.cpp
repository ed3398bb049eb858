#include "forms/Fleet/fleeteditor.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "forms/Conf/controlstore.h"
#include "forms/Fleet/fleetparts.h"
#include "forms/qtext.h"

using namespace orbex;

FleetEditor::FleetEditor(QWidget* parent) : QDialog(parent) {
    setObjectName("FleetEditor");
    setWindowTitle("Изменить выбранные файлы");
    auto* layout = new QVBoxLayout(this);
    auto* pick = new QHBoxLayout;
    pick->addWidget(new QLabel("Параметр:"));
    keyList_ = new QComboBox;
    keyList_->setObjectName("FleetEditKey");
    keyList_->setMaxVisibleItems(20);
    for (const fleetparts::Choice& c : fleetparts::choices())
        keyList_->addItem(QString("%1: %2 (%3)").arg(c.page, c.caption, qs(param(c.id).key)), c.id);
    pick->addWidget(keyList_, 1);
    auto* add = new QPushButton("Добавить");
    add->setObjectName("FleetEditAdd");
    add->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, [this] { addKey(keyList_->currentData().toInt()); });
    pick->addWidget(add);
    layout->addLayout(pick);

    rowsBox_ = new QWidget;
    auto* stack = new QVBoxLayout(rowsBox_);
    rows_ = new QGridLayout;
    rows_->setColumnStretch(3, 1);
    stack->addLayout(rows_);
    stack->addStretch();  // the rows from the top down
    auto* scroll = new QScrollArea;
    scroll->setWidget(rowsBox_);
    scroll->setWidgetResizable(true);
    scroll->setMinimumHeight(200);
    layout->addWidget(scroll, 1);
    auto* note = new QLabel("Параметр, оставленный «По умолчанию», будет удален из файлов.");
    note->setWordWrap(true);
    layout->addWidget(note);

    fleetparts::footButtons(this, layout, "Далее...", "FleetEditNext", "FleetEditCancel")
        ->setDefault(true);
    resize(560, 360);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this, [this] {
        const QString keyword = property("helpKeyword").toString();
        emit helpRequested(keyword.isEmpty() ? QString("FLEET") : keyword);
    });
}

void FleetEditor::clear() {
    while (QLayoutItem* item = rows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    controls_.clear();
}

void FleetEditor::addKey(Id id) {
    for (const auto& [have, control] : controls_)
        if (have == id) {
            control->setFocus();
            return;
        }
    const Param& p = param(id);
    QWidget* w = controls::make(p, rowsBox_);
    if (!w) return;
    const int row = static_cast<int>(controls_.size());
    auto* label = new QLabel(qs(p.caption), rowsBox_);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setToolTip(qs(p.key));
    auto* d = new QToolButton(rowsBox_);
    d->setText("D");
    d->setObjectName("D_" + qs(p.key));
    d->setToolTip("Установить по умолчанию");
    d->setAutoRaise(true);
    QFont bold = d->font();
    bold.setBold(true);
    d->setFont(bold);
    connect(d, &QToolButton::clicked, w, [w, id] {
        ControlStore row;
        row.add(id, w);
        unset(row, id);
    });
    rows_->addWidget(label, row, 0);
    rows_->addWidget(w, row, 1, Qt::AlignLeft);
    rows_->addWidget(d, row, 2);
    controls_.emplace_back(id, w);
    w->setFocus();
}

std::vector<Change> FleetEditor::changes() const {
    ControlStore rows;
    for (const auto& [id, w] : controls_) rows.add(id, w);
    std::vector<Change> out;
    std::string buffer;
    for (const auto& [id, w] : controls_) {
        Change c{id, std::nullopt};
        if (const auto value = storedValue(rows, id, buffer)) c.value = std::string(*value);
        out.push_back(std::move(c));
    }
    return out;
}
