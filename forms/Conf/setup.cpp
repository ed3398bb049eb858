#include "forms/Conf/setup.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <limits>
#include <span>

#include "fileio/fileio.h"
#include "forms/Cfgx/dial.h"
#include "forms/Com/coms.h"
#include "forms/Conf/aids.h"
#include "forms/Conf/diskcopy.h"
#include "forms/Conf/pages.h"
#include "forms/Conf/status.h"
#include "forms/Fleet/fleetwindow.h"
#include "forms/Save/sv.h"
#include "forms/about/aboutbox.h"
#include "forms/buttons.h"
#include "forms/labels.h"
#include "forms/prompts.h"
#include "forms/qtext.h"
#include "forms/workdir.h"
#include "model/reader.h"
#include "model/review.h"
#include "model/writer.h"

using namespace orbex;

namespace {

constexpr auto kNewFile = "Новый файл";
constexpr int kStandardWidth = 121;

void setHint(QWidget* w, const QString& hint, bool tooltip) {
    w->setProperty("hint", hint);
    if (tooltip) w->setToolTip(hint);
}

// A row's caption: one line of plain text, measured once. A plain label measures its text
// three times for its two size hints, and text measuring is much of what a start costs.
class RowLabel : public QLabel {
  public:
    using QLabel::QLabel;

    QSize sizeHint() const override {
        // Anything but one plain line without frame or margins is measured as usual.
        if (wordWrap() || frameWidth() != 0 || margin() != 0 || indent() >= 0 ||
            text().contains('&') || Qt::mightBeRichText(text()))
            return QLabel::sizeHint();
        if (hint_.isEmpty() || measured_ != text()) {
            ensurePolished();
            const int flags = QStyle::visualAlignment(layoutDirection(), alignment()) &
                              ~(Qt::AlignVCenter | Qt::AlignHCenter);
            const QMargins m = contentsMargins();
            hint_ = (fontMetrics().boundingRect(0, 0, 2000, 2000, flags, text()).size() +
                     QSize(m.left() + m.right(), m.top() + m.bottom()))
                        .expandedTo(minimumSize());
            measured_ = text();
        }
        return hint_;
    }
    // One line is as wide at its least as at its best.
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            hint_ = QSize();
        QLabel::changeEvent(event);
    }

  private:
    mutable QSize hint_;
    mutable QString measured_;
};

// A row's "?" or "D". Every row's button of a caption has the same font and style: their size
// hint is found once and shared.
class RowButton : public QToolButton {
  public:
    RowButton(QWidget* parent, QSize* shared) : QToolButton(parent), shared_(shared) {}

    QSize sizeHint() const override {
        if (shared_->isEmpty()) *shared_ = QToolButton::sizeHint();
        return *shared_;
    }

  protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            *shared_ = QSize();
        QToolButton::changeEvent(event);
    }

  private:
    QSize* shared_;
};

}  // namespace

SwitchBox::SwitchBox(QWidget* parent) : QCheckBox(parent) {
    setTristate(true);
}

void SwitchBox::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

TSetup::TSetup() : controls_(kKeyCount, nullptr), labels_(kKeyCount, nullptr), utf8_(kKeyCount) {
    setObjectName("Setup");
    setWindowTitle(qs(kTitle));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    auto* central = new QWidget(this);
    setCentralWidget(central);

    StaticText2 = new QLabel(kNewFile, central);
    StaticText2->setObjectName("StaticText2");
    StaticText2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticText2->setAlignment(Qt::AlignCenter);
    StaticText2->setMinimumWidth(scaled(StaticText2, 252));
    StaticText2->setFont(titleFont());
    QPalette purple = StaticText2->palette();
    purple.setColor(QPalette::WindowText, QColor(64, 0, 64));
    StaticText2->setPalette(purple);
    setHint(StaticText2, QString(), true);
    StaticText2->installEventFilter(this);

    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName("PageControl1");
    // Every tab caption stays visible: the window is as wide as the tabs need.
    PageControl1->setUsesScrollButtons(false);
    PageControl1->installEventFilter(this);

    makePages();
    makeMakerPanel();
    buildButtons();
    buildMenu();
    aids_ = new EditorAids(*this);
    status_ = new StatusLine(*this, StaticText2);
    disk_ = new DiskCopy(this);
    connect(disk_, &DiskCopy::stateChanged, this, &TSetup::diskStateChanged);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(StaticText2, 0, Qt::AlignHCenter);
    layout->addWidget(PageControl1);
    auto* buttons = new QHBoxLayout;
    for (const char* name : {"Button1", "Button4", "Button3", "Button5", "Button2"})
        buttons->addWidget(central->findChild<QPushButton*>(name));
    layout->addLayout(buttons);

    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int page) {
        showMadeRows(page);
        if (currentPage_ == portsPage_) TabSheet7Exit();
        currentPage_ = page;
        if (page == portsPage_) TabSheet7Enter();
    });

    FormCreate();
    status_->unchanged();
    layout->activate();
    setFixedSize(sizeHint());
}

TSetup::~TSetup() = default;

Tdial* TSetup::dial() {
    if (!dial_) dial_ = new Tdial(this);
    return dial_;
}

TSV* TSetup::SV() {
    if (!SV_) {
        SV_ = new TSV(StaticText2, this);
        connect(SV_, &TSV::helpRequested, this, &TSetup::SpeedButton1Click);
    }
    return SV_;
}

TAboutBox* TSetup::AboutBox() {
    if (!AboutBox_) AboutBox_ = new TAboutBox(this);
    return AboutBox_;
}

Tcoms* TSetup::coms() {
    if (!coms_) {
        coms_ = new Tcoms(*this, this);
        connect(coms_, &Tcoms::helpRequested, this, &TSetup::SpeedButton1Click);
    }
    return coms_;
}

void TSetup::makePages() {
    tabOrders_.resize(pages().size());
    for (const PageInfo& info : pages()) {
        auto* page = new QWidget;
        page->setObjectName(info.name);
        auto* grid = new QGridLayout(page);
        grid->setVerticalSpacing(2);
        grid->setColumnStretch(6, 1);
        grid->setRowStretch(16, 1);
        grids_.push_back(grid);
        if (info.page == Page::Ports) portsPage_ = PageControl1->count();
        PageControl1->addTab(page, info.caption);
    }
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
QToolButton* TSetup::makeSpeedButton(QWidget* page, const QString& caption, const Param& p) {
    const bool d = caption == "D";
    const int number = speedButtonNumber(idOf(p.key), d);
    QToolButton* b =
        speedButton(new RowButton(page, d ? &defaultButtonHint_ : &helpButtonHint_),
                    QString("SpeedButton%1").arg(number), caption, qs(d ? p.key : p.helpKeyword()));
    // Every such button has the same font: its size is found once.
    if (speedButtonSize_.isEmpty()) speedButtonSize_ = QSize(scaled(b, 23), scaled(b, 22));
    b->setMinimumSize(speedButtonSize_);
    if (d) setHint(b, "Установить по умолчанию", true);
    connect(b, &QToolButton::clicked, this, [this, b] { SpeedButton1Click(b); });
    return b;
}

// The control of a parameter, by its kind; a switch or list that governs other rows applies
// its rule on every change.
QWidget* TSetup::makeControl(const Param& p, QWidget* page, QLabel* label) {
    const Id id = idOf(p.key);
    switch (p.kind) {
        case Kind::Text: {
            auto* edit = new QLineEdit(page);
            edit->setMaxLength(std::numeric_limits<int>::max());  // any value the file holds
            if (p.has(Masked)) {
                edit->setEchoMode(QLineEdit::Password);
                edit->setStyleSheet("lineedit-password-character: 124");  // "|"
            }
            edit->installEventFilter(this);
            label->setBuddy(edit);
            return edit;
        }
        case Kind::Switch: {
            auto* box = new SwitchBox(page);
            if (p.rule != Rule::NoRule)
                connect(box, &QCheckBox::stateChanged, this, [this, id] { applyRule(id); });
            return box;
        }
        case Kind::Choice: {
            auto* list = new QComboBox(page);
            list->setEditable(p.has(Editable));
            if (list->lineEdit()) list->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
            list->setInsertPolicy(QComboBox::NoInsert);
            list->setMaxVisibleItems(20);
            if (p.rule != Rule::NoRule)
                connect(list, &QComboBox::activated, this, [this, id] { applyRule(id); });
            return list;
        }
        case Kind::None:
            break;
    }
    return nullptr;
}

// One parameter's row: its label, its control, "?" and "D", and for a port "Настроить".
void TSetup::makeRow(const Param& p) {
    const Id id = idOf(p.key);
    const std::size_t pi = pageIndex(p.page);
    QWidget* page = PageControl1->widget(static_cast<int>(pi));
    QGridLayout* grid = grids_[pi];
    const int row = p.row - 1;
    const int column = p.has(Hidden) ? 5 : 0;  // a hidden timeout shares its port's row

    auto* label = new RowLabel(qs(p.caption), page);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setBlue(label);
    QWidget* w = makeControl(p, page, label);
    w->setObjectName(qs(p.key));
    if (p.kind == Kind::Text) {
        label->setObjectName(qs(p.key) + "_label");
    } else {
        label->setObjectName(qs(p.label));
        setHint(label, qs(p.key), true);
        setHint(w, qs(p.description), false);
        plainLabels_.push_back(label);
    }
    label->installEventFilter(this);
    if (p.kind != Kind::Switch) w->setFixedWidth(scaled(w, p.width ? p.width : kStandardWidth));
    controls_[static_cast<std::size_t>(id)] = w;
    labels_[static_cast<std::size_t>(id)] = label;

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

    if (p.has(Port)) {
        const int port = ++ports_;
        auto* b = new QPushButton("Настроить", page);
        b->setObjectName(QString("Button%1").arg(5 + port));
        setHint(b, QString::number(port), false);
        connect(b, &QPushButton::clicked, this, &TSetup::Button6Click);
        grid->addWidget(b, row, 4);
        tabOrders_[pi].emplace_back(15 + port, b);
    }
}

std::size_t TSetup::pageIndex(Page page) {
    for (std::size_t i = 0; i < pages().size(); ++i)
        if (pages()[i].page == page) return i;
    return 0;
}

// The focus goes through the made pages in page order, each page's controls in their tab
// places (rows without one go by their row), and then to the buttons.
void TSetup::setTabOrder() {
    std::vector<QWidget*> chain;
    for (auto& order : tabOrders_) {
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [place, w] : order) chain.push_back(w);
    }
    for (const char* name : {"Button1", "Button4", "Button3", "Button5", "Button2"})
        chain.push_back(centralWidget()->findChild<QPushButton*>(name));
    for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

// The maker's notice at the lower right of the pages, a link to the product's site.
void TSetup::makeMakerPanel() {
    Panel1 = new QWidget(PageControl1);
    Panel1->setObjectName("Panel1");
    Label35 = new QLabel(qs(kMakerNotice), Panel1);
    Label35->setObjectName("Label35");
    setBlue(Label35);
    Label35->setCursor(Qt::PointingHandCursor);
    setHint(Label35, qs(siteAddress()), true);
    Label35->installEventFilter(this);
    plainLabels_.push_back(Label35);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(4, 4, 8, 4);
    panelLayout->addWidget(Label35);
}

void TSetup::buildButtons() {
    struct ButtonInfo {
        const char* name;
        const char* caption;
        const char* hint;
        void (TSetup::*slot)();
    };
    static constexpr ButtonInfo kButtons[] = {
        {"Button1", "Сохранить", "Сохранить файл конфигурации", &TSetup::Button1Click},
        {"Button4", "Открыть", "Открыть файл конфигурации", &TSetup::Button4Click},
        {"Button3", "Просмотреть", "Просмотреть файл конфигурации", &TSetup::Button3Click},
        {"Button5", "Очистить", "Сбросить все значения по умолчанию", &TSetup::Button5Click},
        {"Button2", "Выход", "Выход без изменений", &TSetup::Button2Click},
    };
    for (const ButtonInfo& info : kButtons) {
        QPushButton* b = pushButton(centralWidget(), info.name, info.caption, this, info.slot);
        setHint(b, info.hint, true);
        if (info.slot == &TSetup::Button1Click) {
            // The window's default button: Enter saves, wherever the focus is.
            Button1 = b;
            b->setDefault(true);
            for (int key : {Qt::Key_Return, Qt::Key_Enter})
                connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, b,
                        &QPushButton::click);
        }
    }
}

void TSetup::buildMenu() {
    menuBar()->setObjectName("MainMenu1");
    const auto menu = [this](QMenu* parent, const char* name, const QString& caption) {
        QMenu* m = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
        m->setObjectName(name);
        m->menuAction()->setObjectName(QString(name) + "Item");
        return m;
    };
    const auto item = [this](QMenu* m, const char* name, const QString& caption,
                             const QString& shortcut, void (TSetup::*slot)()) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        if (!shortcut.isEmpty()) a->setShortcut(QKeySequence(shortcut));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    const auto separator = [](QMenu* m, const char* name) {
        m->addSeparator()->setObjectName(name);
    };

    QMenu* file = menu(nullptr, "N1", "Файл");
    item(file, "N16", "Новый", "Ctrl+N", &TSetup::N16Click);
    separator(file, "N15");
    item(file, "N2", "Открыть", "Ctrl+O", &TSetup::Button4Click);
    item(file, "N3", "Сохранить", "Ctrl+S", &TSetup::Button1Click);
    separator(file, "N13");
    item(file, "N14", "Сохранить как...", "Ctrl+Alt+S", &TSetup::N14Click);
    item(file, "N24", "Парк терминалов...", {}, &TSetup::N24Click);
    separator(file, "N4");
    item(file, "N5", "Выход", "Alt+X", &TSetup::Button2Click);

    QMenu* config = menu(nullptr, "N6", "Конфигурация");
    item(config, "N7", "Просмотреть текущую", "Ctrl+L", &TSetup::Button3Click);
    item(config, "N8", "Сбросить по умолчанию", "Ctrl+D", &TSetup::Button5Click);
    separator(config, "N17");
    QMenu* typical = menu(config, "N18", "Типовые конфигурации");
    struct PresetItem {
        const char* name;
        std::string_view preset;
        void (TSetup::*slot)();
    };
    static constexpr PresetItem kPresetItems[] = {
        {"N19", "weak", &TSetup::N19Click},
        {"N21", "fast", &TSetup::N21Click},
        {"N31", "comfort", &TSetup::N31Click},
        {"N20", "traffic", &TSetup::N20Click},
        {"N51", "print-server", &TSetup::N51Click},
        {"Windows2000Server1", "windows2000", &TSetup::Windows2000Server1Click},
    };
    for (const PresetItem& i : kPresetItems)
        item(typical, i.name, qs(findPreset(i.preset)->caption), {}, i.slot);

    QMenu* help = menu(nullptr, "N9", "Помощь");
    item(help, "N10", "Справка", "F1", &TSetup::N10Click);
    separator(help, "N11");
    item(help, "N23", "Посетить сайт", {}, &TSetup::N23Click);
    separator(help, "N22");
    item(help, "N12", "О программе...", "Ctrl+F1", &TSetup::N12Click);
}

// The first page's rows; the others are made at their first need (completePages).
void TSetup::FormCreate() {
    making_ = true;
    makeRows(0);
    making_ = false;
    setTabOrder();
}

void TSetup::makeRows(std::size_t page) {
    for (Id id : controlOrder()) {
        const Param& p = param(id);
        if (pageIndex(p.page) != page) continue;
        makeRow(p);
        if (p.kind == Kind::Choice) {
            auto* list = static_cast<QComboBox*>(controls_[static_cast<std::size_t>(id)]);
            QStringList items{qs(kUnset)};
            for (const ValueChoice& row : p.table) items << qs(row.display);
            list->addItems(items);  // in one insertion
            list->setCurrentIndex(0);
        }
        if (p.kind == Kind::Text) setHint(labels_[static_cast<std::size_t>(id)], qs(p.key), true);
        ResetInProgress = true;
        unset(*this, id);
        ResetInProgress = false;
        aids_->watch(id);
        status_->watch(id);
    }
    DHCPClick();
    COMChange();
    PRINTERChange();
    SCARDClick();
    SOUNDClick();
}

void TSetup::completePages() const {
    if (!complete_ && !making_) const_cast<TSetup*>(this)->makeRemainingPages();
}

void TSetup::makeRemainingPages() {
    making_ = true;
    for (std::size_t page = 1; page < pages().size(); ++page) makeRows(page);
    making_ = false;
    complete_ = true;
    setTabOrder();
    // The first page and the tabs gave the window its size; a page that needs more (other
    // fonts) widens or lengthens it.
    centralWidget()->layout()->activate();
    const QSize needed = sizeHint().expandedTo(size());
    if (needed != size()) setFixedSize(needed);
}

// A page chosen before its rows were made: they are made now, while it already shows, and
// shown and laid out with it before it is painted.
void TSetup::showMadeRows(int page) {
    if (complete_) return;
    completePages();
    QWidget* shown = PageControl1->widget(page);
    for (QWidget* w : shown->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isHidden() && !w->testAttribute(Qt::WA_WState_ExplicitShowHide)) w->show();
    shown->layout()->activate();
}

// --- The store over the controls.

std::string TSetup::text(Id id) const {
    return std::string(utf8(id));
}

std::string_view TSetup::textView(Id id, std::string&) const {
    return utf8(id);
}

std::string_view TSetup::utf8(Id id) const {
    QString now;
    switch (param(id).kind) {
        case Kind::Text:
            now = static_cast<const QLineEdit*>(control(id))->text();
            break;
        case Kind::Choice:
            now = static_cast<const QComboBox*>(control(id))->currentText();
            break;
        case Kind::Switch:
        case Kind::None:
            return {};
    }
    // A text the control still shares with the copy kept is the same text: a shared text is
    // copied before it changes.
    Utf8Text& t = utf8_[static_cast<std::size_t>(id)];
    const bool same =
        (now.constData() == t.seen.constData() && now.size() == t.seen.size()) || now == t.seen;
    if (!same) {
        const QByteArray bytes = now.toUtf8();
        t.bytes.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    t.seen = now;
    return t.bytes;
}

void TSetup::setText(Id id, std::string_view value) {
    if (auto* edit = qobject_cast<QLineEdit*>(control(id))) {
        edit->setText(qs(value));
    } else if (auto* list = qobject_cast<QComboBox*>(control(id))) {
        list->setCurrentIndex(-1);
        list->setEditText(qs(value));
    }
}

Tri TSetup::check(Id id) const {
    switch (static_cast<QCheckBox*>(control(id))->checkState()) {
        case Qt::Checked:
            return Tri::Checked;
        case Qt::Unchecked:
            return Tri::Unchecked;
        default:
            return Tri::Grayed;
    }
}

void TSetup::setCheck(Id id, Tri state) {
    static_cast<QCheckBox*>(control(id))
        ->setCheckState(state == Tri::Checked     ? Qt::Checked
                        : state == Tri::Unchecked ? Qt::Unchecked
                                                  : Qt::PartiallyChecked);
}

int TSetup::item(Id id) const {
    const auto* list = static_cast<QComboBox*>(control(id));
    const int index = list->currentIndex();
    // An editable list holding a text of its own has no item selected.
    if (list->isEditable() && (index < 0 || list->currentText() != list->itemText(index)))
        return -1;
    return index;
}

void TSetup::setItem(Id id, int item) {
    static_cast<QComboBox*>(control(id))->setCurrentIndex(item);
    runChangeHandler(id);
}

void TSetup::runChangeHandler(Id id) {
    if (param(id).rule != Rule::NoRule) applyRule(id);
}

void TSetup::ResetAll() {
    // What every "D" button does, disabled rows included.
    completePages();
    ResetInProgress = true;
    for (Id id : controlOrder()) unset(*this, id);
    ResetInProgress = false;
}

// --- Buttons and rules.

void TSetup::SpeedButton1Click(QObject* sender) {
    const QString keyword = sender->property("helpKeyword").toString();
    if (sender->property("text").toString() != "D") {
        showHelp(keyword);
        return;
    }
    const auto id = orbex::find(ss(keyword));
    if (!id) return;
    QWidget* w = control(*id);
    if (!w || !(w->isEnabled() || ResetInProgress)) return;
    unset(*this, *id);
}

// A rule recomputes, from its switch or list alone, which rows may be edited.
void TSetup::applyRule(Id governor) {
    const Param& g = param(governor);
    if (!controls_[static_cast<std::size_t>(governor)]) return;  // its page is not made yet
    bool enabled = false;
    switch (g.rule) {
        case Rule::WhenUnchecked:
            enabled = check(governor) == Tri::Unchecked;
            break;
        case Rule::WhenChecked:
            enabled = check(governor) == Tri::Checked;
            break;
        case Rule::WhenItem2:
            enabled = item(governor) == 2;
            break;
        case Rule::WhenNotItem1:
            enabled = item(governor) != 1;
            break;
        case Rule::NoRule:
            return;
    }
    for (Id id : controlOrder()) {
        if (param(id).follows != g.key || !controls_[static_cast<std::size_t>(id)]) continue;
        controls_[static_cast<std::size_t>(id)]->setEnabled(enabled);
        labels_[static_cast<std::size_t>(id)]->setEnabled(enabled);
    }
}

void TSetup::DHCPClick() {
    applyRule(idOf("DHCP"));
}
void TSetup::COMChange() {
    applyRule(idOf("COM"));
}
void TSetup::PRINTERChange() {
    applyRule(idOf("PRINTER"));
}
void TSetup::SOUNDClick() {
    applyRule(idOf("SOUND"));
}
void TSetup::SCARDClick() {
    applyRule(idOf("SCARD"));
}

void TSetup::Button5Click() {
    ResetAll();
}

void TSetup::Button2Click() {
    close();
}

void TSetup::clearFileName() {
    StaticText2->setText(kNewFile);
    setHint(StaticText2, QString(), true);
    disk_->clear();
}

void TSetup::N16Click() {
    clearFileName();
    Button5Click();
    status_->unchanged();
}

// A preset that starts anew is a "Новый" first: the file name goes, every parameter is unset.
void TSetup::applyPreset(std::string_view name) {
    const Preset& preset = *findPreset(name);
    if (preset.startsNew) clearFileName();
    orbex::applyPreset(*this, preset);
}

void TSetup::N19Click() {
    applyPreset("weak");
}
void TSetup::N21Click() {
    applyPreset("fast");
}
void TSetup::N31Click() {
    applyPreset("comfort");
}
void TSetup::N20Click() {
    applyPreset("traffic");
}
void TSetup::N51Click() {
    applyPreset("print-server");
}
void TSetup::Windows2000Server1Click() {
    applyPreset("windows2000");
}

void TSetup::TabSheet7Enter() {
    Panel1->hide();
}
void TSetup::TabSheet7Exit() {
    Panel1->show();
}

void TSetup::placePanel() {
    Panel1->adjustSize();
    Panel1->move(PageControl1->width() - Panel1->width() - 4,
                 PageControl1->height() - Panel1->height() - 4);
    Panel1->raise();
}

// --- Labels.

void TSetup::mclick(QLabel* label) {
    const QString hint = label->property("hint").toString();
    const QString site = qs(siteAddress());
    TCMSDNHelp::openAddress(hint == site ? site : qs(pageAddress(ss(hint))));
}

void TSetup::mcl(QLineEdit* edit) {
    if (edit->text() == qs(kUnset)) edit->selectAll();
}

bool TSetup::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == PageControl1 && type == QEvent::Resize) placePanel();
    if (auto* label = qobject_cast<QLabel*>(watched)) {
        const bool plain =
            std::find(plainLabels_.begin(), plainLabels_.end(), label) != plainLabels_.end();
        if (label == StaticText2) {
            if (type == QEvent::MouseButtonDblClick) StaticText2DblClick();
        } else if (plain && type == QEvent::Enter) {
            ment(label);
        } else if (plain && type == QEvent::Leave) {
            mleave(label);
        } else if (type == QEvent::MouseButtonRelease) {
            mclick(label);
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
        if (type == QEvent::MouseButtonRelease) mcl(edit);
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Help and the other windows.

void TSetup::showHelp(const QString& keyword) {
    if (help_.LoadHelpLibrary()) {
        help_.ShowHelp(keyword, "orbex.chm");
    } else {
        help_.showBook(keyword);
    }
}

void TSetup::N10Click() {
    showHelp("MAIN");
}

void TSetup::N23Click() {
    TCMSDNHelp::openAddress(qs(siteAddress()));
}

void TSetup::N12Click() {
    prompts::exec(AboutBox());
}

void TSetup::Button6Click() {
    const auto keys = portKeys(sender() ? sender()->property("hint").toInt() : 0);
    QWidget* settings = keys ? control(keys->settings) : nullptr;
    if (!settings || !settings->isEnabled() || !control(keys->timeout)) {
        prompts::warn(this, "Внимание!",
                      "Настройки COM порта недоступны\nУстановите режим "
                      "перенаправляея COM портов в значение 'сервис'");
        return;
    }
    coms()->prepare(*keys);
    prompts::exec(coms());
}

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
    const QString full = QFileInfo(path).absoluteFilePath();
    StaticText2->setText(QFileInfo(path).fileName());
    setHint(StaticText2, QDir::toNativeSeparators(full), true);
    // Read into memory first, then shown: a control that already shows its value is not set
    // twice (unset, then the file's value), which keeps an open quick.
    readConfig(*bytes, read_);
    showConfig(read_);
    status_->opened(*bytes, read_);
    disk_->set(full, *bytes);
    return true;
}

void TSetup::showConfig(const MemoryStore& read) {
    for (Id id : controlOrder()) {
        switch (param(id).kind) {
            case Kind::Text: {
                const std::string_view value = read.textView(id, scratch_);
                if (utf8(id) != value) static_cast<QLineEdit*>(control(id))->setText(qs(value));
                break;
            }
            case Kind::Switch:
                if (check(id) != read.check(id)) setCheck(id, read.check(id));
                break;
            case Kind::Choice: {
                const int wanted = read.item(id);
                if (wanted >= 0) {
                    if (item(id) != wanted)
                        static_cast<QComboBox*>(control(id))->setCurrentIndex(wanted);
                } else if (item(id) != -1 || utf8(id) != read.textView(id, scratch_)) {
                    setText(id, read.textView(id, scratch_));
                }
                break;
            }
            case Kind::None:
                break;
        }
    }
    for (Id id : controlOrder()) runChangeHandler(id);
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
    const QString path = prompts::filePath(openDialog());
    if (!path.isEmpty()) openFile(path);
}

void TSetup::BuildReviewTable() {
    dial()->setTable(orbex::BuildReviewTable(
        *this, [this](Id id) { prompts::warn(this, "Внимание", qs(warningText(param(id).key))); }));
}

void TSetup::Button3Click() {
    BuildReviewTable();
    prompts::exec(dial());
}

void TSetup::Button1Click() {
    BuildReviewTable();
    const std::string bytes = WriteConfig(dial()->reviewTable());
    const QString shownBefore = StaticText2->text(),
                  targetBefore = StaticText2->property("hint").toString();
    if (targetBefore.isEmpty()) prompts::exec(SV());
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
    status_->unchanged();
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
    prompts::exec(SV());
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
