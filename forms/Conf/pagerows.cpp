#include "forms/Conf/pagerows.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>

#include "forms/Conf/pages.h"
#include "forms/Conf/rowbutton.h"
#include "forms/Conf/rowlabel.h"
#include "forms/buttons.h"
#include "forms/labels.h"
#include "forms/qtext.h"

using namespace orbex;

PageRows::PageRows(QTabWidget* tabs, QObject* labelWatcher)
    : QObject(tabs), tabs_(tabs), labelWatcher_(labelWatcher), labels_(kKeyCount, nullptr) {
    tabOrders_.resize(pages().size());
    for (const PageInfo& info : pages()) {
        auto* page = new QWidget;
        page->setObjectName(info.name);
        auto* grid = new QGridLayout(page);
        grid->setVerticalSpacing(2);
        grid->setColumnStretch(6, 1);
        grid->setRowStretch(16, 1);
        grids_.push_back(grid);
        pages_.push_back(page);
        if (info.page == Page::Ports) portsPage_ = tabs->count();
        tabs->addTab(page, info.caption);
    }
}

std::size_t PageRows::pageIndex(Page page) {
    for (std::size_t i = 0; i < pages().size(); ++i)
        if (pages()[i].page == page) return i;
    return 0;
}

void PageRows::scrollPages() {
    if (scrolling_) return;
    scrolling_ = true;
    const QSignalBlocker quiet(tabs_);  // the same page stays chosen
    const int current = tabs_->currentIndex();
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        const int tab = static_cast<int>(i);
        const QString caption = tabs_->tabText(tab);
        tabs_->removeTab(tab);
        auto* area = new QScrollArea;
        area->setObjectName(QString(pages_[i]->objectName()) + "Scroll");
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->viewport()->setAutoFillBackground(false);
        area->setWidget(pages_[i]);
        pages_[i]->setAutoFillBackground(false);
        tabs_->insertTab(tab, area, caption);
    }
    tabs_->setCurrentIndex(current);
    // Every caption stays reachable: the tabs that do not fit scroll.
    tabs_->setUsesScrollButtons(true);
}

bool PageRows::isPlainLabel(const QLabel* label) const {
    return std::find(plainLabels_.begin(), plainLabels_.end(), label) != plainLabels_.end();
}

// The number in the name of a row's "?" or "D" button: the buttons are numbered through the
// rows in creation order, whichever page is made first.
static int speedButtonNumber(Id row, bool d) {
    int number = 0;
    for (Id id : controlOrder()) {
        if (id == row) break;
        number += param(id).has(NoHelp) ? 1 : 2;
    }
    return number + (d && !param(row).has(NoHelp) ? 2 : 1);
}

// A "?" or "D" button of a row; "D" carries the key, "?" the row's help keyword.
QToolButton* PageRows::makeSpeedButton(QWidget* page, const QString& caption, const Param& p) {
    const bool d = caption == "D";
    const int number = speedButtonNumber(idOf(p.key), d);
    auto* row = new RowButton(page, d ? &defaultButtonHint_ : &helpButtonHint_);
    QToolButton* b = speedButton(row, QString("SpeedButton%1").arg(number), caption,
                                 qs(d ? p.key : p.helpKeyword()));
    // Every such button has the same font: its least size is found once. It is part of the
    // hint, not a least size set on the widget, which would stand in for what the style needs
    // for the caption where the pages scroll and the layout gives no more than the least.
    if (speedButtonSize_.isEmpty()) speedButtonSize_ = QSize(scaled(b, 23), scaled(b, 22));
    row->setLeast(speedButtonSize_);
    if (d) setHint(b, "Установить по умолчанию (Ctrl+Shift+D)", true);
    connect(b, &QToolButton::clicked, this, [this, b] { emit speedButtonClicked(b); });
    return b;
}

void PageRows::addPortButton(std::size_t pi, int row) {
    QWidget* page = pages_[pi];
    const int port = ++ports_;
    auto* b = new QPushButton("Настроить", page);
    b->setObjectName(QString("Button%1").arg(5 + port));
    setHint(b, QString::number(port), false);
    connect(b, &QPushButton::clicked, this, [this, port] { emit portButtonClicked(port); });
    grids_[pi]->addWidget(b, row, 4);
    tabOrders_[pi].emplace_back(15 + port, b);
}

void PageRows::add(const Param& p, QWidget* w) {
    const std::size_t pi = pageIndex(p.page);
    QWidget* page = pages_[pi];
    QGridLayout* grid = grids_[pi];
    const int row = p.row - 1;
    const int column = p.has(Hidden) ? 5 : 0;  // a hidden timeout shares its port's row

    auto* label = new RowLabel(qs(p.caption), page);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setBlue(label);
    setHint(label, qs(p.key), true);
    if (p.kind == Kind::Text) {
        label->setObjectName(qs(p.key) + "_label");
        label->setBuddy(w);
    } else {
        label->setObjectName(qs(p.label));
        setHint(w, qs(p.description), false);
        plainLabels_.push_back(label);
    }
    label->installEventFilter(labelWatcher_);
    labels_[static_cast<std::size_t>(idOf(p.key))] = label;

    grid->addWidget(label, row, column);
    grid->addWidget(w, row, column + 1, Qt::AlignLeft);
    if (!p.has(NoHelp)) grid->addWidget(makeSpeedButton(page, "?", p), row, column + 2);
    QToolButton* d = makeSpeedButton(page, "D", p);
    grid->addWidget(d, row, column + 3);
    if (p.has(Hidden)) {
        for (QWidget* hidden : {static_cast<QWidget*>(label), w, static_cast<QWidget*>(d)})
            hidden->hide();
    }
    tabOrders_[pi].emplace_back(p.tabPlace(), w);
    if (p.has(Port)) addPortButton(pi, row);
}

void PageRows::setTabOrder(const std::vector<QWidget*>& after) {
    std::vector<QWidget*> chain;
    for (auto& order : tabOrders_) {
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [place, w] : order) chain.push_back(w);
    }
    chain.insert(chain.end(), after.begin(), after.end());
    for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}
