#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include "forms/Conf/switchbox.h"
#include "forms/application.h"
#include "model/product.h"
#include "tests/common/desktop.h"
#include "tests/gui/gui.h"

using namespace orbex;

// The main window on its own: its controls, the unset state, the "D" buttons, the
// dependency rules, the labels, the commands that act on the window alone.
class SetupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSetup> setup;

    template <class T = QWidget>
    T* w(const QString& name) const {
        return setup->findChild<T*>(name);
    }
    QToolButton* dButton(const QString& key) const {
        for (auto* b : setup->findChildren<QToolButton*>())
            if (b->text() == "D" && b->property("helpKeyword").toString() == key) return b;
        return nullptr;
    }
    QTabWidget* pages() const { return w<QTabWidget>("PageControl1"); }
    void showPageOf(QWidget* control) const { pages()->setCurrentWidget(control->parentWidget()); }
    // The disabled controls and labels of all tabs, sorted.
    QStringList disabled() const {
        QStringList names;
        for (int i = 0; i < pages()->count(); ++i)
            for (auto* c : pages()->widget(i)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (!c->isEnabled()) names << c->objectName();
        names.sort();
        return names;
    }
    // Every rule in the state that enables its rows.
    void enableAll() const {
        setup->setCheck(idOf("DHCP"), Tri::Unchecked);
        setup->setItem(idOf("COM"), 2);
        setup->setItem(idOf("PRINTER"), 0);
        setup->setCheck(idOf("SOUND"), Tri::Checked);
        setup->setCheck(idOf("SCARD"), Tri::Checked);
    }
    static QStringList withLabels(const QStringList& edits) {
        QStringList out;
        for (const QString& e : edits) out << e << e + "_label";
        return out;
    }
    static QStringList network() {
        return withLabels(
            {"TSERV", "VNCS", "TELS", "SSHS", "IP", "NMASK", "ROUTER", "TFTP", "DNS"});
    }
    static QStringList ports() {
        QStringList edits = {"NPORT"};
        for (int n = 1; n <= 13; ++n) edits << QString("COM%1").arg(n);
        return withLabels(edits);
    }

  private slots:
    void init() {
        setup = wholeEditor();
        setup->show();
        QVERIFY(QTest::qWaitForWindowExposed(setup.get()));
    }
    void cleanup() { setup.reset(); }

    void everyKeyWithAControlHasExactlyOne() {
        int controls = 0;
        for (const Param& p : catalogue()) {
            const QList<QObject*> named = setup->findChildren<QObject*>(qs(p.key));
            QCOMPARE(named.size(), p.hasControl() ? 1 : 0);
            if (!p.hasControl()) continue;
            ++controls;
            const QMetaObject* kind = p.kind == Kind::Text     ? &QLineEdit::staticMetaObject
                                      : p.kind == Kind::Choice ? &QComboBox::staticMetaObject
                                                               : &SwitchBox::staticMetaObject;
            QVERIFY2(named.first()->metaObject() == kind, p.key.data());
            const QString label = p.kind == Kind::Text ? qs(p.key) + "_label" : qs(p.label);
            QCOMPARE(w<QLabel>(label)->property("hint").toString(), qs(p.key));
            if (auto* list = qobject_cast<QComboBox*>(named.first())) {
                QCOMPARE(list->isEditable(), p.key == "KEYMAP");
                QCOMPARE(list->count(), static_cast<int>(p.table.size()) + 1);
                QCOMPARE(list->itemText(0), "По умолчанию");
            }
        }
        QCOMPARE(controls, 94);
        QCOMPARE(w<QComboBox>("CHIPSET")->count(), 78);
        QCOMPARE(w<QComboBox>("CHIPSET")->itemText(1), "Авто");
        QCOMPARE(w<QComboBox>("WIFI")->count(), 2);
        QCOMPARE(w<QComboBox>("WIFI")->itemText(1), "DWL-G510 (Чипсет RT61)");

        QStringList dKeys, helpKeys;
        for (auto* b : setup->centralWidget()->findChildren<QToolButton*>()) {
            const QString keyword = b->property("helpKeyword").toString();
            if (b->text() == "D") QCOMPARE(b->isHidden(), keyword.startsWith("CTIME"));
            if (b->text() == "D") dKeys << keyword;
            if (b->text() == "?") helpKeys << keyword;  // the tab bar has buttons of its own
        }
        QCOMPARE(QSet<QString>(dKeys.begin(), dKeys.end()).size(), 94);
        QCOMPARE(dKeys.size(), 94);
        QCOMPARE(helpKeys.size(), 81);
        QCOMPARE(helpKeys.count("COM1"), 13);  // one help topic for all ports
        QVERIFY(!helpKeys.join(' ').contains("CTIME"));
    }

    void everythingIsUnsetAtStart() {
        for (Id id : controlOrder()) {
            QWidget* c = w(qs(param(id).key));
            if (auto* e = qobject_cast<QLineEdit*>(c)) QCOMPARE(e->text(), "По умолчанию");
            if (auto* l = qobject_cast<QComboBox*>(c)) QCOMPARE(l->currentIndex(), 0);
            if (auto* l = qobject_cast<QComboBox*>(c)) QCOMPARE(l->currentText(), "По умолчанию");
            if (auto* b = qobject_cast<QCheckBox*>(c))
                QCOMPARE(b->checkState(), Qt::PartiallyChecked);
        }
        QCOMPARE(setup->banner()->text(), "Новый файл");
        QCOMPARE(setup->banner()->property("hint").toString(), "");
        QCOMPARE(pages()->currentWidget()->objectName(), "TabSheet1");
        QStringList expected =
            network() + ports() +
            QStringList{"Label15", "USB_SND", "VOLUME", "VOLUME_label", "Label17", "SCOFF"};
        expected.sort();
        QCOMPARE(disabled(), expected);
    }

    // Each rule recomputes its rows from its governor alone, whenever code sets it.
    void dependencyRules_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("state");  // switch: 0 off, 1 on, 2 grayed; list: the item
        QTest::addColumn<QStringList>("disabled");
        const QStringList none, sound = {"Label15", "USB_SND", "VOLUME", "VOLUME_label"};
        const QStringList scard = {"Label17", "SCOFF"}, printer = {"Label11", "PRINTER_W"};
        const struct {
            const char* key;
            int state;
            QStringList off;
        } rows[] = {
            {"DHCP", 0, none},    {"DHCP", 1, network()}, {"DHCP", 2, network()},
            {"COM", 0, ports()},  {"COM", 1, ports()},    {"COM", 2, none},
            {"COM", 3, ports()},  {"PRINTER", 0, none},   {"PRINTER", 1, printer},
            {"PRINTER", 2, none}, {"PRINTER", 3, none},   {"SOUND", 1, none},
            {"SOUND", 0, sound},  {"SOUND", 2, sound},    {"SCARD", 1, none},
            {"SCARD", 0, scard},  {"SCARD", 2, scard},
        };
        for (const auto& r : rows)
            QTest::addRow("%s %d", r.key, r.state) << r.key << r.state << r.off;
    }
    void dependencyRules() {
        QFETCH(QString, key);
        QFETCH(int, state);
        QFETCH(QStringList, disabled);
        enableAll();
        QCOMPARE(this->disabled(), QStringList());
        const Id id = idOf(key.toStdString());
        if (param(id).kind == Kind::Switch) {
            setup->setCheck(id, state == 0   ? Tri::Unchecked
                                : state == 1 ? Tri::Checked
                                             : Tri::Grayed);
        } else {
            setup->setItem(id, state);
        }
        disabled.sort();
        QCOMPARE(this->disabled(), disabled);
    }

    // A switch set from code runs its rule, and a user's click toggles checked and unchecked
    // only. A list set from code runs nothing; a user's choice runs the rule.
    void toolkitFacts() {
        auto* dhcp = w<QCheckBox>("DHCP");
        auto* ip = w("IP");
        dhcp->setCheckState(Qt::Unchecked);
        QVERIFY(ip->isEnabled());
        dhcp->setCheckState(Qt::PartiallyChecked);
        QVERIFY(!ip->isEnabled());
        showPageOf(dhcp);
        QStringList clicks;
        for (int i = 0; i < 3; ++i) {
            QTest::mouseClick(dhcp, Qt::LeftButton);
            clicks << QString::number(dhcp->checkState()) + (ip->isEnabled() ? "+" : "-");
        }
        QCOMPARE(clicks, (QStringList{"2-", "0+", "2-"}));

        auto* com = w<QComboBox>("COM");
        com->setCurrentIndex(2);
        QVERIFY(!w("COM1")->isEnabled());
        com->setCurrentIndex(0);
        showPageOf(com);
        QTest::keyClick(com, Qt::Key_Down);
        QTest::keyClick(com, Qt::Key_Down);
        QCOMPARE(com->currentText(), "сервис");
        QVERIFY(w("COM1")->isEnabled());

        auto* printer = w<QComboBox>("PRINTER");
        printer->setCurrentIndex(1);
        QVERIFY(w("PRINTER_W")->isEnabled());
        printer->setCurrentIndex(0);
        showPageOf(printer);
        QTest::keyClick(printer, Qt::Key_Down);
        QVERIFY(!w("PRINTER_W")->isEnabled() && !w("Label11")->isEnabled());
    }

    void everyDefaultButtonResetsItsOwnParameter() {
        for (Id id : controlOrder()) {
            const Param& p = param(id);
            enableAll();
            if (p.kind == Kind::Text) setup->setText(id, "x1");
            if (p.kind == Kind::Switch)
                setup->setCheck(id, p.rule == Rule::WhenChecked ? Tri::Unchecked : Tri::Checked);
            if (p.kind == Kind::Choice) setup->setItem(id, 1);
            QVERIFY(!stateOf(*setup, id).isEmpty());
            dButton(qs(p.key))->click();
            QVERIFY2(stateOf(*setup, id).isEmpty(), p.key.data());
        }
    }

    void defaultButtonSkipsDisabledControlsOutsideTheReset() {
        const Id ip = idOf("IP"), dhcp = idOf("DHCP");
        setup->setCheck(dhcp, Tri::Checked);
        setup->setText(ip, "10.0.0.1");
        dButton("IP")->click();
        QCOMPARE(stateOf(*setup, ip), "10.0.0.1");
        setup->setCheck(dhcp, Tri::Unchecked);
        dButton("IP")->click();
        QCOMPARE(stateOf(*setup, ip), "");

        // On a governor "D" runs the rule.
        setup->setItem(idOf("COM"), 2);
        dButton("COM")->click();
        QVERIFY(!w("COM1")->isEnabled() && !w("NPORT")->isEnabled());
        setup->setItem(idOf("PRINTER"), 1);
        dButton("PRINTER")->click();
        QVERIFY(w("PRINTER_W")->isEnabled() && w("Label11")->isEnabled());

        // "Очистить" reaches disabled and hidden controls.
        setup->setCheck(dhcp, Tri::Unchecked);
        setup->setText(ip, "10.0.0.1");
        setup->setText(idOf("CTIME5"), "300");
        setup->setCheck(dhcp, Tri::Checked);
        w<QPushButton>("Button5")->click();
        QCOMPARE(setParams(*setup), QStringList());
        QVERIFY(!w("IP")->isEnabled());
    }

    void clickIntoAnEditSelectsTheMarkerOnly() {
        auto* user = w<QLineEdit>("USERN");
        QTest::mouseClick(user, Qt::LeftButton);
        QCOMPARE(user->selectedText(), "По умолчанию");
        user->setText("user1");
        user->deselect();
        QTest::mouseClick(user, Qt::LeftButton);
        QCOMPARE(user->selectedText(), "");
    }

    void labelsUnderlineAndOpenTheirPages() {
        const auto hover = [](QLabel* l, bool in) {
            QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(l, in ? static_cast<QEvent*>(&enter) : &leave);
            return l->font().underline();
        };
        for (const char* name : {"Label22", "Label11", "Label35"}) {
            auto* l = w<QLabel>(name);
            QFont bold = l->font();
            bold.setBold(true);
            l->setFont(bold);
            QVERIFY2(hover(l, true), name);
            QVERIFY(!hover(l, false) && l->font().bold());
        }
        auto* editLabel = w<QLabel>("USERN_label");
        QVERIFY(!hover(editLabel, true));

        UrlCatcher urls;
        const QString site = qs(siteAddress());
        QTest::mouseClick(w<QLabel>("Label22"), Qt::LeftButton);  // RAZR's label
        showPageOf(editLabel);
        QTest::mouseClick(editLabel, Qt::LeftButton);
        QTest::mouseClick(w<QLabel>("Label35"), Qt::LeftButton);
        QCOMPARE(site, "http://orbex.example");
        QCOMPARE(urls.take(),
                 (QStringList{site + "/conf.html#RAZR", site + "/conf.html#USERN", site}));
    }

    void newAndTypicalConfigurations_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("expected");
        const QString weak =
            "COLOR=1 CHIPSET=2 RAZR=1 COM=1 CACH=2 PRINTER=1 W=off F=off M=off T=off "
            "FLOPPY=off CDROMS=off FLASH=off HD=off SOUND=off SCARD=off COMPRESS=off";
        const QString fast =
            "COLOR=1 CHIPSET=1 RAZR=1 COM=1 CACH=3 PRINTER=1 W=off F=off M=off T=off "
            "FLOPPY=off CDROMS=off FLASH=off HD=off SOUND=off SCARD=off COMPRESS=on";
        const QString comfort =
            "CHIPSET=1 RAZR=10 COM=2 CACH=3 PRINTER=2 W=on F=on M=on T=on "
            "FLOPPY=on CDROMS=on FLASH=on HD=on SOUND=on SCARD=on COMPRESS=on";
        QTest::newRow("Новый") << QStringList{"N16"} << "";
        QTest::newRow("Слабая машина") << QStringList{"N19"} << weak;
        QTest::newRow("Максимальная производительность") << QStringList{"N21"} << fast;
        QTest::newRow("Наибольший комфорт") << QStringList{"N31"} << comfort + " COLOR=3";
        QTest::newRow("Уменьшение траффика") << QStringList{"N20"} << fast;
        QTest::newRow("Аппаратный принт-сервер") << QStringList{"N51"} << "PRINTER=2";
        QTest::newRow("Windows 2000 Server after comfort")
            << QStringList{"N31", "Windows2000Server1"} << comfort + " COLOR=2 SAMBA=on";
        QTest::newRow("Windows 2000 Server after weak")
            << QStringList{"N19", "Windows2000Server1"}
            << QString(weak).replace("COLOR=1", "COLOR=2").replace("COM=1", "COM=2") + " SAMBA=on";
        QTest::newRow("Windows 2000 Server on an opened file")
            << QStringList{"Windows2000Server1"} << "USERN=user1 COLOR=2 COM=2 SAMBA=on";
    }
    void newAndTypicalConfigurations() {
        QFETCH(QStringList, actions);
        QFETCH(QString, expected);
        setup->setText(idOf("USERN"), "user1");
        setup->banner()->setText("a.cfg");
        setup->banner()->setProperty("hint", "/tmp/a.cfg");
        for (const QString& a : actions) w<QAction>(a)->trigger();
        QStringList got = setParams(*setup), want = expected.split(' ', Qt::SkipEmptyParts);
        got.sort();
        want.sort();
        QCOMPARE(got, want);
        const bool startsNew = actions.first() != "Windows2000Server1";
        QCOMPARE(setup->banner()->text(), startsNew ? "Новый файл" : "a.cfg");
        QCOMPARE(setup->banner()->property("hint").toString(), startsNew ? "" : "/tmp/a.cfg");
        // The rules followed the values.
        QCOMPARE(w("COM1")->isEnabled(), setup->item(idOf("COM")) == 2);
        QCOMPARE(w("PRINTER_W")->isEnabled(), setup->item(idOf("PRINTER")) != 1);
        QCOMPARE(w("VOLUME")->isEnabled(), setup->check(idOf("SOUND")) == Tri::Checked);
        QCOMPARE(w("SCOFF")->isEnabled(), setup->check(idOf("SCARD")) == Tri::Checked);
        if (actions.size() == 2 && actions.first() == "N31") {
            QCOMPARE(w<QComboBox>("RAZR")->currentText(), "1280x1024");
            QCOMPARE(w<QComboBox>("COLOR")->currentText(), "8");
        }
    }

    void tabOrder_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("devices") << "TabSheet6"
                                 << QStringList{"FLOPPY", "CDROMS", "FLASH",   "HD",
                                                "SOUND",  "VOLUME", "USB_SND", "SCARD",
                                                "SCOFF",  "SAMBA",  "LPT"};
    }
    void tabOrder() {
        QFETCH(QString, page);
        QFETCH(QStringList, order);
        enableAll();
        pages()->setCurrentWidget(w(page));
        QVERIFY(QTest::qWaitForWindowActive(setup.get()));
        w(order.first())->setFocus(Qt::TabFocusReason);
        QStringList seen = {QApplication::focusWidget()->objectName()};
        while (seen.size() <= order.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(seen.mid(0, order.size()), order);
        QVERIFY(!order.contains(seen.last()));  // and then off the tab's rows
    }

    void noticeIsHiddenOnThePortsTab() {
        QVERIFY(w("Panel1")->isVisible() && w("Label35")->isVisible());
        pages()->setCurrentWidget(w("TabSheet7"));
        QVERIFY(!w("Panel1")->isVisible());
        pages()->setCurrentWidget(w("TabSheet2"));
        QVERIFY(w("Panel1")->isVisible() && w("Label35")->isVisible());
    }

    void portSettingsRefusedUnlessComIsService() {
        for (int item : {0, 1, 3}) {
            setup->setItem(idOf("COM"), item);
            Modals modals;
            w<QPushButton>("Button6")->click();
            QCOMPARE(modals.boxes,
                     QStringList{"Внимание! | Настройки COM порта недоступны\nУстановите "
                                 "режим перенаправляея COM портов в значение 'сервис' | "
                                 "Setup | warning"});
            QCOMPARE(modals.dialogs, QStringList());
        }
    }

    // The window shows with its first page's rows and makes the others when a page is chosen
    // or a control used; it then is the window made whole, with nothing typed before lost.
    void pagesMadeAtTheirFirstNeedMatchTheWholeWindow() {
        const auto state = [](const TSetup& s) {
            QStringList out;
            for (Id id : controlOrder()) {
                const auto* c = s.findChild<QWidget*>(qs(param(id).key));
                out << qs(param(id).key) + "=" + (c ? stateOf(s, id) : "missing") +
                           (c && !c->isEnabled() ? " disabled" : "");
            }
            out << QString("%1x%2").arg(s.width()).arg(s.height());
            return out;
        };
        const auto fresh = [] {
            auto made = orbex::createWindows();
            made->show();
            if (!QTest::qWaitForWindowExposed(made.get())) qWarning("window not exposed");
            return made;
        };

        // A click on a tab: the page shows with its rows; what was typed stays.
        auto lazy = fresh();
        QVERIFY(!lazy->pagesComplete());
        lazy->findChild<QLineEdit*>("USERN")->setText("kassa");
        QTabBar* bar = lazy->findChild<QTabWidget*>("PageControl1")->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
        QCOMPARE(bar->currentIndex(), 2);
        QVERIFY(lazy->findChild<QWidget*>("RAZR")->isVisible());
        QVERIFY(lazy->findChild<QWidget*>("StatusModified")->isVisibleTo(lazy.get()));
        w<QLineEdit>("USERN")->setText("kassa");
        QCOMPARE(state(*lazy), state(*setup));

        // Ctrl+Tab: the next page shows with its rows and the focus on its first control;
        // making the rows changes nothing.
        lazy = fresh();
        QTest::keyClick(lazy.get(), Qt::Key_Tab, Qt::ControlModifier);
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused && focused->isVisible());
        QCOMPARE(focused->parentWidget(), lazy->findChild<QWidget*>("TabSheet2"));
        QVERIFY(!lazy->findChild<QWidget*>("StatusModified")->isVisibleTo(lazy.get()));
        w<QLineEdit>("USERN")->setText(qs(kUnset));
        QCOMPARE(state(*lazy), state(*setup));
    }

    void windowIsFixedSize() {
        const QSize size = setup->size();
        QCOMPARE(setup->minimumSize(), size);
        QCOMPARE(setup->maximumSize(), size);
        QVERIFY(!(setup->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(setup->windowFlags() & Qt::WindowMinimizeButtonHint);
        setup->resize(size + QSize(50, 50));
        QCOMPARE(setup->size(), size);
    }
};

QTEST_MAIN(SetupTest)
#include "setup_test.moc"
