#include "forms/Com/coms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QUrl>

#include "forms/buttons.h"
#include "forms/labels.h"
#include "forms/qtext.h"
#include "help/Cmsdnhelp/cmsdnhelp.h"
#include "model/catalogue.h"
#include "model/ports.h"
#include "model/product.h"

using namespace orbex;

namespace {

void fill(QComboBox* list, ValueTable table) {
    list->clear();
    for (const ValueChoice& row : table) list->addItem(qs(row.display));
    list->setCurrentIndex(0);
}

}  // namespace

Tcoms::Tcoms(Store& setup, QWidget* parent) : QDialog(parent), setup_(setup) {
    setObjectName("coms");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    makeTimeoutRow();
    makeSettings();
    ok = pushButton(this, "ok", "Сохранить", this, &Tcoms::okClick);
    ok->setDefault(true);
    Can = pushButton(this, "Can", "Отмена", this, &Tcoms::CanClick);
    Button1 = pushButton(this, "Button1", "По умолчанию", this, &Tcoms::FormCreate);
    CT = makeList("CT");
    CT->setEditable(true);
    CT->setInsertPolicy(QComboBox::NoInsert);
    CT->addItems({qs(kUnset), "150", "300", "600"});
    connect(SpeedButton152, &QToolButton::clicked, this, [this] { CT->setCurrentIndex(0); });
    layOut();

    QWidget* order[] = {SPEED, CHET, DATA, STOP, XONXOFF, RTSCTS, LOCAL, ok, Can, Button1, CT};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    FormCreate();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

// The rows' labels; the timeout's label and its "?" and "D" buttons, which refer to CTIME1.
void Tcoms::makeTimeoutRow() {
    const auto label = [this](const char* name, const QString& caption) {
        auto* l = new QLabel(caption, this);
        l->setObjectName(name);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    rowLabels_ = {label("Label1", "Cкорость:"),  // the first letter is the Latin C
                  label("Label2", "Четность:"), label("Label3", "Биты данных:"),
                  label("Label4", "Стоп-биты:")};
    Label40 = new QLabel("Таймаут порта:", this);
    Label40->setObjectName("Label40");
    setBlue(Label40);
    Label40->setProperty("hint", "CTIME1");
    Label40->setToolTip("CTIME1");
    Label40->installEventFilter(this);
    SpeedButton151 = speedButton(this, "SpeedButton151", "?", "CTIME1");
    SpeedButton152 = speedButton(this, "SpeedButton152", "D", "CTIME1");
    SpeedButton152->setToolTip("Установить по умолчанию");
    for (QToolButton* b : {SpeedButton151, SpeedButton152})
        connect(b, &QToolButton::clicked, this, &Tcoms::SpeedButton151Click);
}

QComboBox* Tcoms::makeList(const char* name) {
    auto* l = new QComboBox(this);
    l->setObjectName(name);
    l->setFixedWidth(scaled(l, 145));
    return l;
}

// The four lists and the three flags of the port settings value.
void Tcoms::makeSettings() {
    SPEED = makeList("SPEED");
    CHET = makeList("CHET");
    DATA = makeList("DATA");
    STOP = makeList("STOP");
    const auto flag = [this](const char* name) {
        auto* box = new QCheckBox(this);
        box->setObjectName(name);
        box->setProperty("hint", name);  // the word the value uses for the flag
        return box;
    };
    XONXOFF = flag("XONXOFF");
    RTSCTS = flag("RTSCTS");
    LOCAL = flag("LOCAL");
}

void Tcoms::layOut() {
    auto* grid = new QGridLayout(this);
    QComboBox* lists[] = {SPEED, CHET, DATA, STOP};
    for (int r = 0; r < 4; ++r) {
        grid->addWidget(rowLabels_[static_cast<std::size_t>(r)], r, 0);
        grid->addWidget(lists[r], r, 1);
    }
    Label40->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(Label40, 4, 0);
    auto* timeout = new QHBoxLayout;
    timeout->addWidget(CT);
    timeout->addWidget(SpeedButton151);
    timeout->addWidget(SpeedButton152);
    timeout->addStretch();
    grid->addLayout(timeout, 4, 1);
    const std::pair<QCheckBox*, const char*> flags[] = {{XONXOFF, "XON/XOFF:"},
                                                        {RTSCTS, "Аппаратное управление потоком:"},
                                                        {LOCAL, "Игнорировать контрольные линии:"}};
    const int flagRows[] = {0, 2, 3};
    for (int i = 0; i < 3; ++i) {
        auto* caption = new QLabel(flags[i].second, this);
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        caption->setBuddy(flags[i].first);
        grid->addWidget(caption, flagRows[i], 2);
        grid->addWidget(flags[i].first, flagRows[i], 3);
    }
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {ok, Can, Button1}) buttons->addWidget(b);
    grid->addLayout(buttons, 5, 0, 1, 4);
    grid->setColumnMinimumWidth(1, 170);
}

void Tcoms::prepare(const PortKeys& keys) {
    const QString portKey = qs(param(keys.settings).key);
    const QString timeoutKey = qs(param(keys.timeout).key);
    CT->setEditText(qs(setup_.text(keys.timeout)));
    CT->setProperty("hint", timeoutKey);
    CT->setToolTip(timeoutKey);
    setProperty("hint", portKey);
    setWindowTitle("Настройки порта " + portKey);
}

void Tcoms::FormCreate() {
    fill(SPEED, port::speed());
    fill(CHET, port::parity());
    fill(DATA, port::dataBits());
    fill(STOP, port::stopBits());
}

QString Tcoms::portText() const {
    const auto id = orbex::find(property("hint").toString().toStdString());
    if (!id || param(*id).kind != Kind::Text) return {};
    return qs(setup_.text(*id));
}

void Tcoms::FormShow() {
    const PortSettings s = parsePortValue(portText().toStdString());
    SPEED->setCurrentIndex(s.speed);
    CHET->setCurrentIndex(s.parity);
    DATA->setCurrentIndex(s.dataBits);
    STOP->setCurrentIndex(s.stopBits);
    XONXOFF->setChecked(s.xonxoff);
    RTSCTS->setChecked(s.rtscts);
    LOCAL->setChecked(s.local);
}

void Tcoms::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void Tcoms::okClick() {
    PortSettings s;
    s.speed = SPEED->currentIndex();
    s.parity = CHET->currentIndex();
    s.dataBits = DATA->currentIndex();
    s.stopBits = STOP->currentIndex();
    s.xonxoff = XONXOFF->isChecked();
    s.rtscts = RTSCTS->isChecked();
    s.local = LOCAL->isChecked();
    const auto portKey = orbex::find(property("hint").toString().toStdString());
    const auto timeoutKey = orbex::find(CT->property("hint").toString().toStdString());
    if (portKey && param(*portKey).kind == Kind::Text)
        setup_.setText(*portKey, composePortValue(s));
    if (timeoutKey && param(*timeoutKey).kind == Kind::Text)
        setup_.setText(*timeoutKey, CT->currentText().toStdString());
    accept();
}

void Tcoms::CanClick() {
    reject();
}

void Tcoms::Label40Click() {
    TCMSDNHelp::openAddress(qs(pageAddress(Label40->property("hint").toString().toStdString())));
}

void Tcoms::SpeedButton151Click() {
    auto* b = qobject_cast<QToolButton*>(sender());
    if (b == SpeedButton151) emit helpRequested(b);
}

bool Tcoms::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label40) {
        if (event->type() == QEvent::Enter) ment(Label40);    // Label40MouseEnter
        if (event->type() == QEvent::Leave) mleave(Label40);  // Label40MouseLeave
        if (event->type() == QEvent::MouseButtonRelease) Label40Click();
    }
    return QDialog::eventFilter(watched, event);
}
