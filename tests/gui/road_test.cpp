#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "forms/Cfgx/dial.h"
#include "forms/Save/sv.h"
#include "forms/application.h"
#include "model/writer.h"
#include "tests/gui/gui.h"

using namespace orbex;

namespace {

constexpr auto kFile =
    "\xEF\xBB\xBF# a terminal\r\nUSERN='Иван'\r\nKEYMAP='41D'\r\nAUTOSTART='on'\r\nDHCP='off'\r\n"
    "IP='10.0.0.5'\r\nRAZR='800x600'\r\nCHIPSET='vesa'\r\nX='on'\r\nCOM='ser'\r\n";
const QStringList kFileParams = {"USERN=Иван",  "KEYMAP=text:41D", "AUTOSTART=on", "DHCP=off",
                                 "IP=10.0.0.5", "RAZR=4",          "CHIPSET=6",    "COM=2"};
const QString kSaved =
    "Информация | Файл с настройками сохранен под именем\n%1 | Setup | information";

// Every file and folder below `dir`, relative to it, sorted.
QStringList tree(const QString& dir) {
    QStringList out;
    for (const QFileInfo& i : QDir(dir).entryInfoList(
             QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        out << i.fileName();
        if (i.isDir())
            for (const QString& sub : tree(i.filePath())) out << i.fileName() + "/" + sub;
    }
    return out;
}

// Answers a file dialog with a typed path, moving the working directory as a system
// dialog may.
Modals::Act pick(const QString& path) {
    return [path](QDialog* d) {
        d->findChild<QLineEdit*>("fileNameEdit")->setText(path);
        QDir::setCurrent(QFileInfo(path).path());
        d->accept();
    };
}

// Fills the save-target dialog's file option and confirms it.
Modals::Act fileOption(const QString& path) {
    return [path](QDialog* d) {
        d->findChild<QLineEdit*>("Edit2")->setText(path);
        d->findChild<QPushButton*>("Button1")->click();
    };
}

template <class T>
T* in(QDialog* d, const char* name) {
    return d->findChild<T*>(name);
}

}  // namespace

// Open, review and save with real files; the working directory is never written.
class RoadTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSetup> setup;
    QTemporaryDir tmp;
    QString home, work, out;

    template <class T = QWidget>
    T* w(const QString& name) const {
        return setup->findChild<T*>(name);
    }
    QString banner() const { return setup->banner()->text(); }
    QString target() const { return setup->banner()->property("hint").toString(); }
    QString file(const QString& name) const { return out + "/" + name; }
    QTableWidget* grid() const { return setup->dial()->findChild<QTableWidget*>("table"); }
    QStringList gridRows() const {
        QStringList rows;
        for (int r = 0; r < grid()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < 5; ++c)
                cells << (grid()->item(r, c) ? grid()->item(r, c)->text() : "");
            rows << cells.join('|');
        }
        return rows;
    }
    // What the model writes for the table the last review left.
    QByteArray written() const {
        return QByteArray::fromStdString(WriteConfig(setup->dial()->reviewTable()));
    }

  private slots:
    void init() {
        home = QDir::currentPath();
        work = tmp.path() + "/work";
        out = tmp.path() + "/out";
        QDir(tmp.path()).removeRecursively();
        QVERIFY(QDir().mkpath(work) && QDir().mkpath(out));
        QDir::setCurrent(work);
        setup = wholeEditor();
        setup->show();
        QVERIFY(QTest::qWaitForWindowExposed(setup.get()));
    }
    void cleanup() {
        setup.reset();
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(home);
        QCOMPARE(cwd, work);
        QCOMPARE(tree(work), QStringList());
    }

    void openThroughTheDialog_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("chosen, from the menu") << true;
        QTest::newRow("cancelled, from the button") << false;
    }
    void openThroughTheDialog() {
        QFETCH(bool, accept);
        QDir().mkpath(file("site"));
        spit(file("site/b.cfg"), kFile);
        setup->setText(idOf("PASSW"), "old");
        Modals modals;
        QStringList filters;
        modals.then([&](QDialog* d) {
            filters = qobject_cast<QFileDialog*>(d)->nameFilters();
            accept ? pick(file("site/b.cfg"))(d) : d->reject();
        });
        accept ? w<QAction>("N2")->trigger() : w<QPushButton>("Button4")->click();
        QCOMPARE(modals.dialogs, QStringList{"OpenD"});
        QCOMPARE(filters, QStringList{"Файлы конфигурации ORBEX (*.cfg)"});
        QCOMPARE(banner(), accept ? "b.cfg" : "Новый файл");
        QCOMPARE(target(), accept ? QDir::toNativeSeparators(file("site/b.cfg")) : "");
        QCOMPARE(setParams(*setup), accept ? kFileParams : QStringList{"PASSW=old"});
        if (!accept) return;
        QCOMPARE(w<QComboBox>("CHIPSET")->currentText(), "Универсальный драйвер VESA + X");
        QVERIFY(w("IP")->isEnabled() && w("COM1")->isEnabled());
    }

    void openFailureChangesNothing() {
        QDir().mkpath(file("folder.cfg"));
        spit(file("a.cfg"), kFile);
        QVERIFY(setup->openFile(file("a.cfg")));
        setup->setText(idOf("USERN"), "edited");
        const QStringList before = setParams(*setup);
        for (const char* name : {"missing.cfg", "folder.cfg"}) {
            Modals modals;
            QVERIFY(!setup->openFile(file(name)));
            const QString reason =
                QString(name) == "folder.cfg" ? "это папка, а не файл" : "нет такого файла";
            QCOMPARE(modals.boxes, QStringList{"Ошибка | Невозможно открыть файл!\n" + file(name) +
                                               "\n" + reason + " | Setup | critical"});
            QCOMPARE(setParams(*setup), before);
            QCOMPARE(banner(), "a.cfg");
            QCOMPARE(target(), QDir::toNativeSeparators(file("a.cfg")));
        }
    }

    void reviewTableRows() {
        setup->BuildReviewTable();
        QCOMPARE(gridRows(), QStringList{"||||"});  // nothing set: the empty row alone

        setup->setText(idOf("USERN"), "");
        setup->setText(idOf("PASSW"), "secret");
        auto* keymap = w<QComboBox>("KEYMAP");
        keymap->lineEdit()->selectAll();
        QTest::keyClicks(keymap->lineEdit(), "41D");
        setup->setCheck(idOf("AUTOSTART"), Tri::Checked);
        setup->setCheck(idOf("COMPRESS"), Tri::Unchecked);
        setup->setItem(idOf("EXIT"), 2);
        setup->setItem(idOf("CHIPSET"), 3);  // auto_x
        setup->setCheck(idOf("DHCP"), Tri::Checked);
        setup->setText(idOf("IP"), "10.0.0.9");  // disabled, yet set
        setup->BuildReviewTable();
        QCOMPARE(gridRows(), (QStringList{
                                 "Имя пользователя:|USERN| |0| ",
                                 "Пароль:|PASSW|secret|6|secret",
                                 "Раскладка клавиатуры|KEYMAP|41D|3|41D",
                                 "Автостарт|AUTOSTART|on|2|да",
                                 "Сжатие RDP|COMPRESS|off|3|нет",
                                 "Завершение сеанса|EXIT|msg|3|Сообщение",
                                 "Использовать DHCP|DHCP|on|2|да",
                                 "IP терминала:|IP|10.0.0.9|8|10.0.0.9",
                                 "Использовать драйвера Xorg|X|on|2|on",
                                 "Использовать драйвера FB|FB|off|3|off",
                                 "Видеодрайвер|CHIPSET|auto|4|Авто + X",
                                 "||||",
                             }));
        QStringList headings;
        for (int c = 0; c < grid()->columnCount(); ++c)
            headings << grid()->horizontalHeaderItem(c)->text() +
                            (grid()->isColumnHidden(c) ? "(hidden)" : "");
        QCOMPARE(headings, (QStringList{"Описание параметра", "Название параметра",
                                        "Значение параметра", "(hidden)", "(hidden)"}));
    }

    // The review's grid after reviews of other configurations in turn: more rows, fewer, some
    // changed in the middle, the same again, none. Each cell, with its tooltip, is the table's.
    void reviewGridFollowsEveryTable() {
        const auto tableRows = [&] {
            QStringList rows;
            for (const ReviewRow& r : setup->dial()->reviewTable())
                rows << QStringList{qs(r.description), qs(r.key), qs(r.value), qs(r.valueLength),
                                    qs(r.shownText)}
                            .join('|');
            return rows << "||||";
        };
        const auto tooltipsMatch = [&] {
            for (int r = 0; r < grid()->rowCount(); ++r)
                for (int c = 0; c < 5; ++c)
                    if (auto* item = grid()->item(r, c); item && item->toolTip() != item->text())
                        return false;
            return true;
        };
        spit(file("a.cfg"), kFile);
        spit(file("b.cfg"),
             "USERN='Пётр'\nPASSW='p'\nAUTOSTART='off'\nDHCP='on'\nRAZR='1024x768'\n"
             "NUMLOCK='on'\nVOLUME='70'\nCOM='ser'\nCOM1='9600,n,8,1'\n");
        const auto review = [&](const char* step) {
            setup->BuildReviewTable();
            QCOMPARE(gridRows(), tableRows());
            QVERIFY2(tooltipsMatch(), step);
        };
        QVERIFY(setup->openFile(file("a.cfg")));
        review("a");
        QVERIFY(setup->openFile(file("b.cfg")));
        review("b");
        setup->setText(idOf("PASSW"), "longer password");
        unset(*setup, idOf("AUTOSTART"));
        review("b changed in the middle");
        review("b again");
        QVERIFY(setup->openFile(file("a.cfg")));
        review("a after b");
        setup->ResetAll();
        review("nothing set");
        QCOMPARE(gridRows(), QStringList{"||||"});
    }

    // What the window's store reads is what the controls show now, however they came to show it.
    void storeReadsTheControlsAsTheyAre() {
        const Id user = idOf("USERN"), keymap = idOf("KEYMAP"), razr = idOf("RAZR");
        auto* edit = w<QLineEdit>("USERN");
        QCOMPARE(setup->text(user), std::string(kUnset));
        edit->selectAll();
        QTest::keyClicks(edit, "ivan");
        QCOMPARE(setup->text(user), "ivan");
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(setup->text(user), "iva");
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);  // undo
        QCOMPARE(setup->text(user), edit->text().toStdString());
        edit->setText(edit->text());
        QCOMPARE(setup->text(user), edit->text().toStdString());
        setup->setText(user, "");
        QCOMPARE(setup->text(user), "");
        setup->setText(user, "Пётр");
        std::string buffer;
        QCOMPARE(setup->textView(user, buffer), std::string_view("Пётр"));

        auto* list = w<QComboBox>("KEYMAP");
        list->lineEdit()->selectAll();
        QTest::keyClicks(list->lineEdit(), "41D");
        QCOMPARE(setup->text(keymap), "41D");
        setup->setItem(keymap, 1);
        QCOMPARE(setup->text(keymap), list->itemText(1).toStdString());
        setup->setItem(razr, 2);
        QCOMPARE(setup->text(razr), w<QComboBox>("RAZR")->itemText(2).toStdString());

        setup->BuildReviewTable();
        QCOMPARE(gridRows().first(), "Имя пользователя:|USERN|Пётр|4|Пётр");
    }

    void reviewWarnsOncePerBadValueInOrder() {
        for (const char* kv :
             {"DNS=bad", "POWEROFF=soon", "TSERV=host", "IP=1.2.3", "VOLUME=loud", "NMASK=any"})
            setup->setText(idOf(QString(kv).section('=', 0, 0).toStdString()),
                           QString(kv).section('=', 1).toStdString());
        Modals modals;
        setup->BuildReviewTable();
        QStringList expected;
        for (const char* key : {"DNS", "POWEROFF", "TSERV", "IP", "VOLUME"})
            expected << QString(
                            "Внимание | Внимание!\nЗначение параметра %1 неверно!\nСброшено на "
                            "значение по умолчанию | Setup | warning")
                            .arg(key);
        QCOMPARE(modals.boxes, expected);
        QCOMPARE(setParams(*setup), QStringList{"NMASK=any"});
        QCOMPARE(gridRows().size(), 2);
    }

    void copyCommands() {
        setup->setText(idOf("USERN"), "");
        setup->setCheck(idOf("AUTOSTART"), Tri::Checked);
        setup->BuildReviewTable();
        const auto copy = [&](int row, const char* action) {
            grid()->setCurrentCell(row, 0);
            QApplication::clipboard()->setText("before");
            setup->dial()->findChild<QAction*>(action)->trigger();
            return QApplication::clipboard()->text();
        };
        Modals modals;
        QCOMPARE(copy(1, "N2"), "Автостарт");
        QCOMPARE(copy(1, "N1"), "AUTOSTART");
        QCOMPARE(copy(1, "N3"), "on");
        QCOMPARE(copy(0, "N3"), " ");
        QCOMPARE(modals.boxes, QStringList());
        QCOMPARE(copy(1, "N4"), "# Автостарт: да\r\nAUTOSTART='on'");
        QCOMPARE(copy(0, "N4"), "# Имя пользователя::  \r\nUSERN=''");
        QCOMPARE(copy(2, "N4"), "before");  // the empty row copies nothing
        QCOMPARE(modals.boxes.size(), 2);
        QCOMPARE(modals.boxes[0],
                 "Буфер обмена | В буфер обмена помещена следующая информация:\n"
                 "# Автостарт: да\r\nAUTOSTART='on' | dial | information");
    }

    void reviewDialogFromTheButton() {
        setup->setCheck(idOf("NUMLOCK"), Tri::Checked);
        Modals modals;
        int rows = 0;
        modals.then([&](QDialog* d) {
            rows = grid()->rowCount();
            (void)QTest::qWaitForWindowActive(d);
            grid()->setFocus();
            grid()->setCurrentCell(0, 1);
            QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
            (void)QTest::qWaitFor([&] { return modals.boxes.size() == 1; });
            const QPoint cell = grid()->visualRect(grid()->model()->index(0, 0)).center();
            QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell);
            QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, cell);
            (void)QTest::qWaitFor([&] { return modals.boxes.size() == 2; });
            in<QPushButton>(d, "Button1")->click();
        });
        w<QPushButton>("Button3")->click();
        QCOMPARE(modals.dialogs, QStringList{"dial"});
        QCOMPARE(rows, 2);
        QCOMPARE(modals.boxes.size(), 2);  // Ctrl+C, then a double click
        QCOMPARE(QApplication::clipboard()->text(), "# NumLock: да\r\nNUMLOCK='on'");
    }

    void saveToTheOpenedFile() {
        QDir().mkpath(file("site"));
        spit(file("site/a.cfg"), kFile);
        QVERIFY(setup->openFile(file("site/a.cfg")));
        setup->setText(idOf("USERN"), "user2");
        setup->setText(idOf("DNS"), "bad");  // reset by the save's review, with a warning
        Modals modals;
        w<QPushButton>("Button1")->click();
        QCOMPARE(modals.dialogs, QStringList());
        QCOMPARE(modals.boxes.size(), 2);
        QVERIFY(modals.boxes[0].startsWith("Внимание | "));
        QCOMPARE(modals.boxes[1], kSaved.arg("a.cfg"));
        const QByteArray bytes = slurp(file("site/a.cfg"));
        QCOMPARE(bytes, written());
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF#") && bytes.contains("\r\nUSERN='user2'\r\n"));
        QVERIFY(!bytes.contains("DNS="));
        QCOMPARE(tree(out), (QStringList{"site", "site/a.cfg"}));
    }

    // With no target the save asks for one; the system dialog decides.
    void saveTargetOptions_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("proposed");
        for (bool confirm : {true, false}) {
            const char* how = confirm ? " confirmed" : " cancelled";
            QTest::addRow("MAC address%s", how) << "mac" << confirm << "AA^BB^CC^DD^EE^FF.cfg";
            QTest::addRow("computer name%s", how) << "computer" << confirm << "term7.cfg";
            QTest::addRow("common%s", how) << "common" << confirm << "default.cfg";
        }
    }
    void saveTargetOptions() {
        QFETCH(QString, option);
        QFETCH(bool, confirm);
        QFETCH(QString, proposed);
        setup->SV()->saveDialog()->setDirectory(out);
        setup->setCheck(idOf("KEEP"), Tri::Checked);
        Modals modals;
        QString offered, hintMeanwhile;
        modals
            .then([&](QDialog* d) {
                if (option == "mac") in<QLineEdit>(d, "MaskEdit1")->setText("aa^bb^cc^dd^ee^ff");
                if (option == "computer") in<QLineEdit>(d, "Edit1")->setText("term7");
                if (option == "common") QTest::mouseClick(in<QLabel>(d, "Label1"), Qt::LeftButton);
                in<QPushButton>(d, "Button1")->click();
            })
            .then([&](QDialog* d) {
                offered =
                    QFileInfo(qobject_cast<QFileDialog*>(d)->selectedFiles().value(0)).fileName();
                hintMeanwhile = target();
                QDir::setCurrent(out);
                confirm ? d->accept() : d->reject();  // unchanged
            });
        setup->Button1Click();
        QCOMPARE(modals.dialogs, (QStringList{"SV", "SD"}));
        QCOMPARE(offered, proposed);
        QCOMPARE(hintMeanwhile, proposed);
        QCOMPARE(banner(), confirm ? proposed : "Новый файл");
        QCOMPARE(target(), confirm ? QDir::toNativeSeparators(file(proposed)) : "");
        QCOMPARE(tree(out), confirm ? QStringList{proposed} : QStringList());
        QCOMPARE(modals.boxes, confirm ? QStringList{kSaved.arg(proposed)} : QStringList());
        if (!confirm) return;
        QCOMPARE(slurp(file(proposed)), written());
        // The next save goes to the same target without asking.
        setup->setCheck(idOf("KEEP"), Tri::Unchecked);
        setup->Button1Click();
        QCOMPARE(modals.dialogs.size(), 2);
        QCOMPARE(modals.boxes.size(), 2);
        QVERIFY(slurp(file(proposed)).contains("KEEP='off'"));
    }

    void cancelledTargetDialogStoresNothing() {
        Modals modals;
        modals.then([](QDialog* d) { in<QPushButton>(d, "Button3")->click(); })
            .then([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
        setup->Button1Click();
        w<QAction>("N3")->trigger();
        QCOMPARE(modals.dialogs, (QStringList{"SV", "SV"}));
        QCOMPARE(modals.boxes, QStringList());
        QCOMPARE(tree(out), QStringList());
    }

    void fileOptionAddsCfg_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("no extension") << "term1"
                                      << "term1.cfg";
        QTest::newRow("extension in capitals") << "term1.CFG"
                                               << "term1.CFG.cfg";
        QTest::newRow("already .cfg") << "term1.cfg"
                                      << "term1.cfg";
        QTest::newRow("dot in the folder only") << "v1.2/term1"
                                                << "v1.2/term1.cfg";
    }
    void fileOptionAddsCfg() {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QDir().mkpath(file("v1.2"));
        Modals modals;
        modals.then(fileOption(file(typed)));
        setup->Button1Click();
        QCOMPARE(modals.dialogs, QStringList{"SV"});  // no system dialog
        QCOMPARE(banner(), QFileInfo(saved).fileName());
        QCOMPARE(target(), file(saved));
        QCOMPARE(slurp(file(saved)), written());
    }

    void saveAsPresetsTheDialog() {
        Modals modals;
        QStringList seen;
        const auto look = [&](QDialog* d) {
            seen << QString("%1 %2 %3")
                        .arg(in<QRadioButton>(d, "RadioButton1")->isChecked())
                        .arg(in<QRadioButton>(d, "RadioButton3")->isChecked())
                        .arg(in<QLineEdit>(d, "Edit2")->text());
        };
        modals.then([&](QDialog* d) { look(d), in<QPushButton>(d, "Button3")->click(); });
        w<QAction>("N14")->trigger();  // a new window: the MAC address option

        spit(file("c.cfg"), kFile);
        QVERIFY(setup->openFile(file("c.cfg")));
        setup->setText(idOf("USERN"), "saved as");
        modals.then([&](QDialog* d) { look(d), in<QPushButton>(d, "Button1")->click(); });
        w<QAction>("N14")->trigger();  // an opened file: the file option with its path
        QCOMPARE(seen, (QStringList{"1 0 ", "0 1 " + QDir::toNativeSeparators(file("c.cfg"))}));
        QCOMPARE(modals.boxes, QStringList{kSaved.arg("c.cfg")});
        QCOMPARE(slurp(file("c.cfg")), written());

        // A target chosen by a double click on the file name, then dropped by a cancel: the
        // name alone is offered.
        modals.then(fileOption(file("t.cfg"))).then([](QDialog* d) { d->reject(); });
        QTest::mouseDClick(setup->banner(), Qt::LeftButton);
        QCOMPARE(target(), file("t.cfg"));
        QTest::mouseDClick(setup->banner(), Qt::LeftButton);
        QCOMPARE(banner(), "t.cfg");
        QCOMPARE(target(), "");
        modals.then([&](QDialog* d) { look(d), d->reject(); });
        setup->N14Click();
        QCOMPARE(seen.last(), "0 1 t.cfg");
        QCOMPARE(tree(out), QStringList{"c.cfg"});
    }

    void incompleteMacIsRefused() {
        Modals modals;
        QString upper, focusAfterLeaving, focusAfterOk;
        modals.then([&](QDialog* d) {
            (void)QTest::qWaitForWindowActive(d);
            auto* mask = in<QLineEdit>(d, "MaskEdit1");
            mask->setFocus();
            mask->setText("aa^bb^cc^dd^ee^ff");
            in<QLineEdit>(d, "Edit1")->setFocus();
            upper = mask->text();
            mask->setFocus();
            mask->setText("AA^BB^CC^DD^EE^F");
            in<QLineEdit>(d, "Edit1")->setFocus();
            (void)QTest::qWaitFor([&] { return modals.boxes.size() == 1; });
            focusAfterLeaving = d->focusWidget()->objectName();
            in<QPushButton>(d, "Button1")->click();
            (void)QTest::qWaitFor([&] { return modals.boxes.size() == 2; });
            focusAfterOk = d->focusWidget()->objectName();
            in<QPushButton>(d, "Button3")->click();
        });
        setup->StaticText2DblClick();
        QCOMPARE(upper, "AA^BB^CC^DD^EE^FF");  // made upper case on leaving
        QCOMPARE(modals.boxes.size(), 2);
        QVERIFY(modals.boxes[0].startsWith("Ошибка | Неверный МАК адрес"));
        QCOMPARE(focusAfterLeaving, "MaskEdit1");
        QCOMPARE(focusAfterOk, "MaskEdit1");
        QCOMPARE(modals.dialogs, QStringList{"SV"});  // OK went no further
    }

    void pastedMacAddressForms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("mac");
        QTest::newRow("colons") << "00:1a:2b:3c:4d:5e"
                                << "00^1A^2B^3C^4D^5E";
        QTest::newRow("dashes") << "00-1A-2b-3C-4d-5E"
                                << "00^1A^2B^3C^4D^5E";
        QTest::newRow("dotted") << "001a.2b3c.4d5e"
                                << "00^1A^2B^3C^4D^5E";
        QTest::newRow("bare, blanks around") << "  001a2b3c4d5e\n"
                                             << "00^1A^2B^3C^4D^5E";
        QTest::newRow("five pairs") << "00:1a:2b:3c:4d"
                                    << "";
        QTest::newRow("not hex") << "00:1a:2b:3c:4d:5g"
                                 << "";
        QTest::newRow("thirteen digits") << "001a2b3c4d5e6"
                                         << "";
        QTest::newRow("carets, as the file name spells it") << "00^1a^2B^3c^4D^5e"
                                                            << "00^1A^2B^3C^4D^5E";
        QTest::newRow("mixed separators") << "00:1a-2b:3c-4d:5e"
                                          << "";
    }
    void pastedMacAddressForms() {
        QFETCH(QString, text);
        QFETCH(QString, mac);
        QCOMPARE(macForMask(text), mac);
        if (mac.isEmpty()) return;
        auto* mask = setup->SV()->findChild<QLineEdit*>("MaskEdit1");
        QApplication::clipboard()->setText(text);
        QTest::keyClick(mask, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(mask->text(), mac);
    }

    void failedSaveLeavesEverythingAsItWas() {
        spit(file("plain"), "just a file");
        QDir().mkpath(file("dir.cfg"));
        spit(file("dir.cfg/inside"), "kept");
        const QStringList before = tree(out);
        for (const char* name : {"none/t.cfg", "plain/t.cfg", "dir.cfg"}) {
            setup->N16Click();
            setup->setCheck(idOf("CRYPT"), Tri::Checked);
            Modals modals;
            modals.then(fileOption(file(name)));
            setup->Button1Click();
            // The caption, the target and the reason.
            const QStringList parts = modals.boxes.value(0).split(" | ");
            QCOMPARE(modals.boxes.size(), 1);
            QCOMPARE(parts.value(0), "Ошибка");
            const QStringList lines = parts.value(1).split('\n');
            QVERIFY2(lines.size() == 3 && lines[1] == file(name) && !lines[2].isEmpty(),
                     qPrintable(parts.value(1)));
            QCOMPARE(parts.mid(2), (QStringList{"Setup", "warning"}));
            QCOMPARE(tree(out), before);
            QCOMPARE(slurp(file("dir.cfg/inside")), "kept");
        }
    }

    void openEditReviewSaveReopen() {
        spit(file("road.cfg"), kFile);
        Modals modals;
        modals.then(pick(file("road.cfg")));
        w<QPushButton>("Button4")->click();

        auto* user = w<QLineEdit>("USERN");
        w<QTabWidget>("PageControl1")->setCurrentWidget(user->parentWidget());
        user->selectAll();
        QTest::keyClicks(user, "petr2");
        QTest::mouseClick(w<QCheckBox>("NUMLOCK"), Qt::LeftButton);
        auto* com = w<QComboBox>("COM");
        w<QTabWidget>("PageControl1")->setCurrentWidget(com->parentWidget());
        QTest::keyClick(com, Qt::Key_Down);  // вкл
        for (auto* b : setup->findChildren<QToolButton*>())
            if (b->text() == "D" && b->property("helpKeyword") == "CHIPSET") b->click();
        modals.then([](QDialog* d) { in<QPushButton>(d, "Button1")->click(); });
        w<QPushButton>("Button3")->click();
        w<QPushButton>("Button1")->click();
        QCOMPARE(modals.dialogs, (QStringList{"OpenD", "dial"}));
        QCOMPARE(modals.boxes, QStringList{kSaved.arg("road.cfg")});

        const QStringList edited = {"USERN=petr2", "KEYMAP=text:41D", "AUTOSTART=on", "NUMLOCK=on",
                                    "DHCP=off",    "IP=10.0.0.5",     "RAZR=4",       "COM=3"};
        QCOMPARE(setParams(*setup), edited);
        auto again = orbex::createWindows();  // an open makes every page's rows itself
        QVERIFY(again->openFile(file("road.cfg")));
        QCOMPARE(setParams(*again), edited);
    }
};

QTEST_MAIN(RoadTest)
#include "road_test.moc"
