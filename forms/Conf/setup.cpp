#include "forms/Conf/setup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

#include "fileio/fileio.h"
#include "forms/Cfgx/dial.h"
#include "forms/Com/coms.h"
#include "forms/Conf/aids.h"
#include "forms/Conf/diskcopy.h"
#include "forms/Conf/pagerows.h"
#include "forms/Conf/pages.h"
#include "forms/Conf/screenfit.h"
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

TSetup::TSetup() {
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

    rows_ = new PageRows(PageControl1, this);
    connect(rows_, &PageRows::speedButtonClicked, this, &TSetup::SpeedButton1Click);
    connect(rows_, &PageRows::portButtonClicked, this, &TSetup::Button6Click);
    makeMakerPanel();
    buildButtons();
    buildMenu();
    aids_ = new EditorAids(*this, *this, [this](Id id) { unsetStep(id); });
    status_ = new StatusLine(*this, StaticText2);
    history_ = new History(*this, this);
    connect(history_, &History::stateChanged, this, &TSetup::historyChanged);
    connect(qApp, &QApplication::focusChanged, this, &TSetup::focusChanged);
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
        if (currentPage_ == rows_->portsPage()) TabSheet7Exit();
        currentPage_ = page;
        if (page == rows_->portsPage()) TabSheet7Enter();
    });

    FormCreate();
    history_->restart();
    layout->activate();
    fitScreen(sizeHint());
}

// Typing in an edit is one step until the focus leaves it.
void TSetup::focusChanged(QWidget* old, QWidget* now) {
    const auto typed = history_->typing();
    QWidget* c = typed ? madeControl(*typed) : nullptr;
    if (c && old && (old == c || c->isAncestorOf(old))) history_->endTyping();
    showFocused(now);
}

// While the pages scroll, a control that takes the focus is scrolled into view.
void TSetup::showFocused(QWidget* now) {
    if (!rows_->scrolling() || !now || !PageControl1->isAncestorOf(now)) return;
    for (QWidget* w = now->parentWidget(); w && w != PageControl1; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) area->ensureWidgetVisible(now);
}

// The window as large as its pages need, when that fits the screen's free area (the fixed
// window); otherwise as large as fits, its pages scrolled, and placed within that area.
void TSetup::fitScreen(QSize needed) {
    const QScreen* shownOn = screen();
    const QRect free = shownOn ? shownOn->availableGeometry() : QRect(QPoint(), needed);
    // The frame is not known before the window is shown: a title bar of two lines of text.
    const int border = fontMetrics().height() / 2;
    const QSize frame(2 * border, 2 * fontMetrics().height() + border);
    const WindowFit fit = fitWithin(needed, frame, free);
    if (fit.scroll && !rows_->scrolling()) {
        rows_->scrollPages();
        centralWidget()->layout()->activate();
    }
    setFixedSize(fit.size);
    if (fit.scroll) move(fit.place);
}

TSetup::~TSetup() {
    // The focus leaves the window's controls while QWidget's destructor closes it, when this
    // is no TSetup any more.
    if (qApp) disconnect(qApp, &QApplication::focusChanged, this, &TSetup::focusChanged);
}

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

// The focus goes through the made pages' rows, and then to the buttons.
void TSetup::setTabOrder() {
    std::vector<QWidget*> buttons;
    for (const char* name : {"Button1", "Button4", "Button3", "Button5", "Button2"})
        buttons.push_back(centralWidget()->findChild<QPushButton*>(name));
    rows_->setTabOrder(buttons);
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
    rows_->addPlainLabel(Label35);
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

QMenu* TSetup::addMenu(QMenu* parent, const char* name, const QString& caption) {
    QMenu* m = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
    m->setObjectName(name);
    m->menuAction()->setObjectName(QString(name) + "Item");
    return m;
}

QAction* TSetup::menuItem(QMenu* m, const char* name, const QString& caption,
                          const QString& shortcut, void (TSetup::*slot)()) {
    QAction* a = m->addAction(caption);
    a->setObjectName(name);
    if (!shortcut.isEmpty()) a->setShortcut(QKeySequence(shortcut));
    connect(a, &QAction::triggered, this, slot);
    return a;
}

static void separator(QMenu* m, const char* name) {
    m->addSeparator()->setObjectName(name);
}

void TSetup::buildMenu() {
    menuBar()->setObjectName("MainMenu1");

    QMenu* file = addMenu(nullptr, "N1", "Файл");
    menuItem(file, "N16", "Новый", "Ctrl+N", &TSetup::N16Click);
    separator(file, "N15");
    menuItem(file, "N2", "Открыть", "Ctrl+O", &TSetup::Button4Click);
    menuItem(file, "N3", "Сохранить", "Ctrl+S", &TSetup::Button1Click);
    separator(file, "N13");
    menuItem(file, "N14", "Сохранить как...", "Ctrl+Alt+S", &TSetup::N14Click);
    menuItem(file, "N24", "Парк терминалов...", {}, &TSetup::N24Click);
    separator(file, "N4");
    menuItem(file, "N5", "Выход", "Alt+X", &TSetup::Button2Click);

    QMenu* edit = addMenu(nullptr, "N25", "Правка");
    N26 = menuItem(edit, "N26", "Отменить", "Ctrl+Z", &TSetup::N26Click);
    N27 = menuItem(edit, "N27", "Повторить", "Ctrl+Y", &TSetup::N27Click);
    N27->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});

    buildConfigMenu();
    QMenu* help = addMenu(nullptr, "N9", "Помощь");
    menuItem(help, "N10", "Справка", "F1", &TSetup::N10Click);
    separator(help, "N11");
    menuItem(help, "N23", "Посетить сайт", {}, &TSetup::N23Click);
    separator(help, "N22");
    menuItem(help, "N12", "О программе...", "Ctrl+F1", &TSetup::N12Click);
}

void TSetup::buildConfigMenu() {
    QMenu* config = addMenu(nullptr, "N6", "Конфигурация");
    menuItem(config, "N7", "Просмотреть текущую", "Ctrl+L", &TSetup::Button3Click);
    menuItem(config, "N8", "Сбросить по умолчанию", "Ctrl+D", &TSetup::Button5Click);
    menuItem(config, "N28", "Сбросить параметр", "Ctrl+Shift+D", &TSetup::N28Click);
    separator(config, "N17");
    QMenu* typical = addMenu(config, "N18", "Типовые конфигурации");
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
        menuItem(typical, i.name, qs(findPreset(i.preset)->caption), {}, i.slot);
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
        if (PageRows::pageIndex(p.page) != page) continue;
        QWidget* w = controls::make(p, rows_->page(page));
        rows_->add(p, w);
        add(id, w);
        followRule(p, w);
        aids_->watch(id);
        // A value held for the row (a file opened before its page was made) shown now.
        if (storedValue(held_, id, scratch_)) {
            orbex::copyParam(held_, id, *this, scratch_);
            unset(held_, id);
        }
        watchChanges(id, w);
    }
    DHCPClick();
    COMChange();
    PRINTERChange();
    SCARDClick();
    SOUNDClick();
}

// A switch or list that governs other rows applies its rule on every change.
void TSetup::followRule(const Param& p, QWidget* control) {
    if (p.rule == Rule::NoRule) return;
    const Id id = idOf(p.key);
    if (auto* box = qobject_cast<QCheckBox*>(control))
        connect(box, &QCheckBox::stateChanged, this, [this, id] { applyRule(id); });
    if (auto* list = qobject_cast<QComboBox*>(control))
        connect(list, &QComboBox::activated, this, [this, id] { applyRule(id); });
}

void TSetup::watchChanges(Id id, QWidget* w) {
    const auto typed = [this, id] { history_->changed(id, true); };
    const auto chosen = [this, id] { history_->changed(id, false); };
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        connect(edit, &QLineEdit::textChanged, this, typed);
        edit->installEventFilter(this);
    } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
        connect(box, &QCheckBox::stateChanged, this, chosen);
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
        // An editable list is typed into: its choices and its text go as one edit's.
        connect(list, &QComboBox::currentIndexChanged, this,
                list->isEditable() ? std::function<void()>(typed) : chosen);
        if (list->isEditable()) {
            connect(list, &QComboBox::editTextChanged, this, typed);
            list->lineEdit()->installEventFilter(this);
        }
    }
}

template <class F>
void TSetup::madeRowsOnly(F&& f) const {
    const bool was = making_;
    making_ = true;
    f();
    making_ = was;
}

MemoryStore TSetup::shownConfig() const {
    MemoryStore s = held_;
    madeRowsOnly([&] {
        for (Id id : controlOrder())
            if (madeControl(id)) orbex::copyParam(*this, id, s, shown_);
    });
    return s;
}

void TSetup::copyParam(Id id, MemoryStore& to) const {
    if (!madeControl(id)) {
        orbex::copyParam(held_, id, to, scratch_);
        return;
    }
    madeRowsOnly([&] { orbex::copyParam(*this, id, to, shown_); });
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
    if (rows_->scrolling()) return;  // the pages scroll: the window keeps its size
    const QSize needed = sizeHint().expandedTo(size());
    if (needed != size()) fitScreen(needed);
}

// A page chosen before its rows were made: they are made now, while it already shows, and
// shown and laid out with it before it is painted.
void TSetup::showMadeRows(int page) {
    if (complete_) return;
    completePages();
    QWidget* shown = rows_->page(static_cast<std::size_t>(page));
    for (QWidget* w : shown->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isHidden() && !w->testAttribute(Qt::WA_WState_ExplicitShowHide)) w->show();
    shown->layout()->activate();
}

// --- The store over the controls.

QWidget* TSetup::controlOf(Id id) const {
    if (!complete_) completePages();
    return madeControl(id);
}

void TSetup::setItem(Id id, int item) {
    ControlStore::setItem(id, item);
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

// Rows not made yet hold their values until they are: an open at the start makes no more rows
// than the first page's.
void TSetup::showConfig(const MemoryStore& read) {
    madeRowsOnly([&] {
        showMadeConfig(read);
        for (Id id : controlOrder()) runChangeHandler(id);
    });
}

void TSetup::showMadeConfig(const MemoryStore& read) {
    for (Id id : controlOrder()) {
        if (!madeControl(id)) {
            orbex::copyParam(read, id, held_, scratch_);
            continue;
        }
        switch (param(id).kind) {
            case Kind::Text: {
                const std::string_view value = read.textView(id, scratch_);
                if (textView(id, shown_) != value)
                    static_cast<QLineEdit*>(control(id))->setText(qs(value));
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
                } else if (item(id) != -1 || textView(id, shown_) != read.textView(id, scratch_)) {
                    setText(id, read.textView(id, scratch_));
                }
                break;
            }
            case Kind::None:
                break;
        }
    }
}

// --- Buttons and rules.

void TSetup::SpeedButton1Click(QObject* sender) {
    const QString keyword = sender->property("helpKeyword").toString();
    if (sender->property("text").toString() != "D") {
        showHelp(keyword);
        return;
    }
    if (const auto id = orbex::find(ss(keyword))) unsetStep(*id);
}

void TSetup::unsetStep(Id id) {
    const History::Step step(*history_, "сброс параметра " + qs(param(id).key));
    unsetParam(id);
}

void TSetup::N28Click() {
    aids_->unsetFocused();
}

void TSetup::unsetParam(Id id) {
    QWidget* w = control(id);
    if (!w || !(w->isEnabled() || ResetInProgress)) return;
    unset(*this, id);
}

// A rule recomputes, from its switch or list alone, which rows may be edited.
void TSetup::applyRule(Id governor) {
    const Param& g = param(governor);
    if (!madeControl(governor)) return;  // its page is not made yet
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
        if (param(id).follows != g.key || !madeControl(id)) continue;
        madeControl(id)->setEnabled(enabled);
        rows_->label(id)->setEnabled(enabled);
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
    const History::Step step(*history_, "сброс всех параметров");
    ResetAll();
    // The lines that reading ignored go with the values read.
    dropsShown_ = false;
    showDrops();
}

void TSetup::Button2Click() {
    close();
}

void TSetup::clearFileName() {
    startFile(kNewFile, QString());
    disk_->clear();
}

void TSetup::startFile(const QString& name, const QString& path) {
    StaticText2->setText(name);
    setHint(StaticText2, path, true);
    history_->startFile();
    dropsShown_ = false;
    showDrops();
}

void TSetup::N16Click() {
    const History::Step step(*history_, "новый файл");
    clearFileName();
    Button5Click();
}

// A preset that starts anew is a "Новый" first: the file name goes, every parameter is unset.
void TSetup::applyPreset(std::string_view name) {
    const Preset& preset = *findPreset(name);
    const History::Step step(*history_, "типовая конфигурация «" + qs(preset.caption) + "»");
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
    // Clear of the scroll bar of a page that scrolls.
    const int bar = rows_->scrolling() ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    Panel1->move(PageControl1->width() - Panel1->width() - 4 - bar,
                 PageControl1->height() - Panel1->height() - 4);
    Panel1->raise();
}

// --- Labels.

void TSetup::mclick(QLabel* label) {
    const QString hint = label->property("hint").toString();
    const QString site = qs(siteAddress());
    TCMSDNHelp::openAddress(hint == site ? site : qs(pageAddress(ss(hint))));
}

bool TSetup::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == PageControl1 && type == QEvent::Resize) placePanel();
    // Undo and redo in a parameter's edit are the window's, not the edit's own: an edit keeps
    // no history of the values the window gave it.
    if (type == QEvent::ShortcutOverride && qobject_cast<QLineEdit*>(watched)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence typed(key->keyCombination());
        for (const QAction* a : {N26, N27})
            for (const QKeySequence& s : a->shortcuts())
                if (s == typed) return true;
    }
    if (auto* label = qobject_cast<QLabel*>(watched)) {
        const bool plain = rows_->isPlainLabel(label);
        if (label == StaticText2) {
            if (type == QEvent::MouseButtonDblClick) StaticText2DblClick();
        } else if (plain && type == QEvent::Enter) {
            ment(label);
        } else if (plain && type == QEvent::Leave) {
            mleave(label);
        } else if (type == QEvent::MouseButtonRelease) {
            mclick(label);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Help and the other windows.

void TSetup::showHelp(const QString& keyword) {
    help_.help(keyword);
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

void TSetup::Button6Click(int port) {
    const auto keys = portKeys(port);
    QWidget* settings = keys ? control(keys->settings) : nullptr;
    if (!settings || !settings->isEnabled() || !control(keys->timeout)) {
        prompts::warn(this, "Внимание!",
                      "Настройки COM порта недоступны\nУстановите режим "
                      "перенаправляея COM портов в значение 'сервис'");
        return;
    }
    const History::Step step(*history_, QString("настройка порта COM%1").arg(port));
    coms()->prepare(*keys);
    prompts::exec(coms());
}
