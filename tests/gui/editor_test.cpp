// The editor as an administrator meets it: the command line, Qt's own dialogs in Russian, and
// files dropped on the window.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <QMessageBox>

#include "forms/Cfgx/dial.h"
#include "forms/Conf/aids.h"
#include "forms/Save/sv.h"
#include "forms/application.h"
#include "tests/gui/gui.h"

class EditorTest : public QObject {
    Q_OBJECT

    // A drag of `data` proposing `proposed` among `possible`, dropped when the window takes
    // it; the drop event as the window left it (not accepted when the drag was refused).
    static std::unique_ptr<QDropEvent> drop(TSetup& setup, const QMimeData& data,
                                            Qt::DropActions possible, Qt::DropAction proposed) {
        QDragEnterEvent enter(QPoint(10, 10), possible, &data, Qt::LeftButton, Qt::NoModifier);
        enter.setDropAction(proposed);
        QApplication::sendEvent(&setup, &enter);
        auto event = std::make_unique<QDropEvent>(QPointF(10, 10), possible, &data, Qt::LeftButton,
                                                  Qt::NoModifier);
        event->setDropAction(proposed);
        event->ignore();
        if (enter.isAccepted()) QApplication::sendEvent(&setup, event.get());
        return event;
    }

    // The window shown and active, so that the focus and shortcuts work as for a user.
    static std::unique_ptr<TSetup> shownWindow() {
        auto setup = wholeEditor();
        setup->show();
        setup->activateWindow();
        if (!QTest::qWaitForWindowActive(setup.get())) qWarning("window not active");
        return setup;
    }
    static QWidget* focused() { return QApplication::focusWidget(); }
    static QTabWidget* tabs(TSetup& s) { return s.findChild<QTabWidget*>("PageControl1"); }

  private slots:
    void ctrlTabSelectsTheMarkerAndWorksFromLists() {
        auto setup = shownWindow();
        setup->findChild<QLineEdit*>("USERN")->setFocus();
        // Through every page and round to the first: each landing edit shows the marker
        // selected, so that typing replaces it.
        for (int i = 0; i < tabs(*setup)->count(); ++i) {
            QTest::keyClick(focused(), Qt::Key_Tab, Qt::ControlModifier);
            QCOMPARE(tabs(*setup)->currentIndex(), (i + 1) % tabs(*setup)->count());
            QApplication::processEvents();
            if (auto* edit = qobject_cast<QLineEdit*>(focused());
                edit && edit->text() == "По умолчанию")
                QCOMPARE(edit->selectedText(), "По умолчанию");
        }
        QCOMPARE(focused()->objectName(), "USERN");
        QTest::keyClicks(focused(), "kassa1");
        QCOMPARE(setup->findChild<QLineEdit*>("USERN")->text(), "kassa1");

        // From a list: the focus on RAZR, Ctrl+Tab and Ctrl+Shift+Tab still switch.
        auto* list = setup->findChild<QComboBox*>("RAZR");
        tabs(*setup)->setCurrentIndex(2);
        QVERIFY(tabs(*setup)->widget(2)->isAncestorOf(list));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(tabs(*setup)->currentIndex(), 3);
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(tabs(*setup)->currentIndex(), 2);
    }

    void ctrlShiftDUnsetsTheFocusedParameter() {
        auto setup = shownWindow();
        auto* user = setup->findChild<QLineEdit*>("USERN");
        user->setText("kassa1");
        user->setFocus();
        QTest::keyClick(user, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(user->text(), "По умолчанию");
        QCOMPARE(user->selectedText(), "По умолчанию");

        auto* list = setup->findChild<QComboBox*>("RAZR");
        tabs(*setup)->setCurrentIndex(2);
        list->setCurrentIndex(3);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(list->currentIndex(), 0);
    }

    void searchFindsByKeyOrCaptionAndDoesNotSave() {
        auto setup = shownWindow();
        Modals modals;
        QTest::keyClick(focused(), Qt::Key_F, Qt::ControlModifier);
        auto* search = setup->findChild<QLineEdit*>("ParamSearch");
        QCOMPARE(focused(), search);
        QTest::keyClicks(search, "razr");
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(focused()->objectName(), "RAZR");
        QVERIFY(tabs(*setup)->currentWidget()->isAncestorOf(focused()));

        search->setFocus();
        search->setText("пароль");  // a caption's beginning, in any case
        QTest::keyClick(search, Qt::Key_Enter);
        const auto id = EditorAids::parameterOf("пароль");
        QVERIFY(id.has_value());
        QCOMPARE(focused()->objectName(), qs(orbex::param(*id).key));
        QCOMPARE(static_cast<QLineEdit*>(focused())->selectedText(), "По умолчанию");
        QCOMPARE(EditorAids::parameterOf("DNS — Сервер DNS"), orbex::find("DNS"));
        QVERIFY(!EditorAids::parameterOf("нет такого").has_value());
        QApplication::processEvents();
        QCOMPARE(modals.boxes, QStringList());  // Enter in the search saved nothing
        QCOMPARE(modals.dialogs, QStringList());
    }

    void portValuesShowWhole() {
        auto setup = wholeEditor();
        auto* com = setup->findChild<QLineEdit*>("COM3");
        com->setText("115200 none 8 1 -XONXOFF RTSCTS -LOCAL");
        QCOMPARE(com->toolTip(), com->text());
        // ... and in the review table, whose columns the user may widen.
        setup->findChild<QComboBox*>("COM")->setCurrentIndex(2);
        setup->BuildReviewTable();
        auto* grid = setup->dial()->findChild<QTableWidget*>("table");
        const auto cells = grid->findItems(com->text(), Qt::MatchExactly);
        QVERIFY(!cells.isEmpty());
        QCOMPARE(cells.first()->column(), 2);  // the value column
        QCOMPARE(cells.first()->toolTip(), com->text());
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(2), QHeaderView::Interactive);
    }

    void checkedTextsAreMarkedWhileTyping() {
        auto setup = wholeEditor();
        auto* ip = setup->findChild<QLineEdit*>("IP");
        auto* tserv = setup->findChild<QLineEdit*>("TSERV");
        auto* volume = setup->findChild<QLineEdit*>("VOLUME");
        const auto marked = [](QLineEdit* e) { return e->property("badValue").toBool(); };
        QVERIFY(!marked(ip) && !marked(tserv));  // the marker is never marked
        ip->setText("10.0.0.");                  // on the way to a good address: marked
        QVERIFY(marked(ip));
        QVERIFY(ip->toolTip().contains("IPv4"));
        ip->setText("10.0.0.7");
        QVERIFY(!marked(ip));
        QCOMPARE(ip->toolTip(), QString());
        volume->setText("громко");
        QVERIFY(marked(volume));
        QVERIFY(volume->toolTip().contains("целое"));
        // Server lists are checked only while DNS holds no valid address.
        tserv->setText("ts.example");
        QVERIFY(marked(tserv));
        setup->findChild<QLineEdit*>("DNS")->setText("10.0.0.1");
        QVERIFY(!marked(tserv));
        setup->findChild<QLineEdit*>("DNS")->setText("10.0.0");
        QVERIFY(marked(tserv));
        // Nothing is reset before the save: the texts stay as typed.
        QCOMPARE(tserv->text(), "ts.example");
        QCOMPARE(volume->text(), "громко");
        // A masked edit keeps its own style under the frame.
        setup->findChild<QLineEdit*>("POWEROFF")->setText("x");
        QVERIFY(marked(setup->findChild<QLineEdit*>("POWEROFF")));
    }

    void commandLine() {
        using orbex::parseCommandLine;
        QVERIFY(parseCommandLine({"orbcfg", "--help"}).output.contains("--version"));
        QVERIFY(parseCommandLine({"orbcfg", "a.cfg", "--version"}).output.startsWith("orbcfg 1."));
        const auto unknown = parseCommandLine({"orbcfg", "--fleat"});
        QCOMPARE(unknown.exitCode, 2);
        QVERIFY(unknown.error.contains("'--fleat'"));
        QCOMPARE(parseCommandLine({"orbcfg", "a.cfg"}).file, "a.cfg");
        QCOMPARE(parseCommandLine({"orbcfg", "--", "--help.cfg"}).file, "--help.cfg");
        QCOMPARE(parseCommandLine({"orbcfg", "a.cfg", "b.cfg"}).exitCode, 2);
        QCOMPARE(parseCommandLine({"orbcfg"}).file, QString());
    }

    void qtDialogsSpeakRussian() {
        QVERIFY2(orbex::installTranslations(*QCoreApplication::instance()),
                 "qtbase_ru.qm not found (package qt6-translations-l10n)");
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), "Отмена");
        QFileDialog dialog(nullptr, QString(), QString(), "*.cfg");
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QCOMPARE(buttons->button(QDialogButtonBox::Open)->text(), "&Открыть");
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), "Отмена");
    }

    void dropsAreCopies() {
        auto setup = wholeEditor();
        QTemporaryDir dir;
        const QString path = dir.filePath("a.cfg");
        spit(path, "USERN='kassa'\n");

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        // A source that proposes Move but allows Copy: opened, and told it was a copy.
        auto event = drop(*setup, data, Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
        QVERIFY(event->isAccepted());
        QCOMPARE(event->dropAction(), Qt::CopyAction);
        QCOMPARE(setup->banner()->text(), "a.cfg");
        QVERIFY(QFile::exists(path));

        // A source that allows nothing but Move is refused; nothing is opened.
        setup->N16Click();
        event = drop(*setup, data, Qt::MoveAction, Qt::MoveAction);
        QVERIFY(!event->isAccepted());
        QCOMPARE(setup->banner()->text(), "Новый файл");
    }

    // The status bar: the path, the lines the open ignored with their list beside the window
    // (nothing modal), and the marker of changes since the last open, save or "Новый".
    void statusBarShowsPathDroppedLinesAndChanges() {
        QTemporaryDir dir;
        const QString path = dir.filePath("st.cfg");
        spit(path, "\xEF\xBB\xBF# kassa\r\nUSERN='u'\r\nFOO='1'\r\njunk\r\nIP='1.2.3.999'\r\n");
        auto setup = wholeEditor();
        setup->show();
        const auto shown = [&](const char* name) {
            return setup->findChild<QWidget*>(name)->isVisibleTo(setup.get());
        };
        auto* statusPath = setup->findChild<QLabel*>("StatusPath");
        auto* dropped = setup->findChild<QToolButton*>("StatusDropped");
        QCOMPARE(statusPath->text(), "Новый файл");
        QVERIFY(!shown("StatusModified") && !shown("StatusDropped"));

        QVERIFY(setup->openFile(path));
        QCOMPARE(statusPath->text(), QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
        QCOMPARE(dropped->text(), "Пропущено строк: 3");  // the reset IP is no dropped line
        QVERIFY(!shown("StatusModified"));
        dropped->click();
        auto* list = setup->findChild<QWidget*>("DroppedLines");
        QVERIFY(list && list->isVisible() && !list->isModal());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        auto* table = list->findChild<QTableWidget*>("DroppedTable");
        QStringList rows;
        for (int r = 0; r < table->rowCount(); ++r)
            rows << table->item(r, 0)->text() + " " + table->item(r, 2)->text();
        QCOMPARE(rows, (QStringList{"1 комментарий; не будет сохранен",
                                    "3 неизвестный ключ 'FOO'; строка пропущена",
                                    "4 не строка вида КЛЮЧ='значение'; строка пропущена"}));

        QTest::keyClicks(setup->findChild<QLineEdit*>("USERN"), "x");
        QVERIFY(shown("StatusModified"));
        {
            Modals modals;
            setup->findChild<QPushButton*>("Button1")->click();
            QCOMPARE(modals.boxes.size(), 2);  // the reset IP's warning, then saved
        }
        QVERIFY(!shown("StatusModified"));
        QCOMPARE(statusPath->text(), QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
        // The lines the open ignored are gone from the file as saved, and from the status bar.
        QVERIFY(!shown("StatusDropped"));
        QVERIFY(!list->isVisible());

        {
            Modals modals;  // a failed open changes nothing here
            QVERIFY(!setup->openFile(dir.filePath("missing.cfg")));
        }
        QVERIFY(!shown("StatusDropped"));
        QVERIFY(setup->openFile(path));  // the saved file has nothing left to drop
        QCOMPARE(dropped->text(), "Пропущено строк: 0");
        QCOMPARE(table->rowCount(), 0);  // the open list follows
        setup->findChild<QCheckBox*>("AUTOSTART")->click();
        QVERIFY(shown("StatusModified"));
        setup->findChild<QAction*>("N16")->trigger();
        QCOMPARE(statusPath->text(), "Новый файл");
        QVERIFY(!shown("StatusModified"));
    }

    // A queued path answers the open dialog without showing it; an act works the real one.
    void filePromptsAnswerFromTheScript() {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.cfg");
        spit(path, "USERN='from script'\n");
        auto setup = wholeEditor();
        prompts::Script script;
        script.path(path);
        setup->findChild<QPushButton*>("Button4")->click();
        QCOMPARE(setup->findChild<QLineEdit*>("USERN")->text(), "from script");
        QCOMPARE(script.dialogs, QStringList());
        QVERIFY(!setup->openDialog()->isVisible());
        setup->findChild<QPushButton*>("Button4")->click();  // nothing queued: cancelled
        QCOMPARE(script.unexpected.size(), 1);
        QCOMPARE(script.dialogs, QStringList{"OpenD"});
        QCOMPARE(setup->findChild<QLineEdit*>("USERN")->text(), "from script");
    }

    // At one and a half times the font size, the save-target dialog and the pages keep every
    // caption whole and nothing overlaps.
    void largerFontsKeepCaptionsWhole() {
        const QFont before = QApplication::font();
        QFont big = before;
        big.setPointSizeF(before.pointSizeF() * 1.5);
        QApplication::setFont(big);
        struct Restore {
            QFont font;
            ~Restore() { QApplication::setFont(font); }
        } restore{before};
        auto setup = wholeEditor();
        const auto whole = [](QWidget* top) {
            QStringList faults;
            QList<QWidget*> seen;
            for (QWidget* w : top->findChildren<QWidget*>()) {
                if (!w->isVisibleTo(top) ||
                    !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                      qobject_cast<QLineEdit*>(w)))
                    continue;
                // An editable list's own edit is laid out by the list, a few pixels short of
                // its hint in any size.
                if (qobject_cast<QComboBox*>(w->parentWidget())) continue;
                const QSize need = w->minimumSizeHint();
                if (w->width() < need.width() || w->height() < need.height())
                    faults << w->objectName() + " cut";
                for (QWidget* other : seen)
                    if (other->parentWidget() == w->parentWidget() &&
                        other->geometry().intersects(w->geometry()))
                        faults << w->objectName() + " over " + other->objectName();
                seen << w;
            }
            return faults;
        };
        setup->SV()->show();
        QVERIFY(QTest::qWaitForWindowExposed(setup->SV()));
        QCOMPARE(whole(setup->SV()), QStringList());  // e.g. "RadioButton2 cut"
        setup->show();
        QVERIFY(QTest::qWaitForWindowExposed(setup.get()));
        QTabBar* bar = tabs(*setup)->tabBar();
        for (int i = 0; i < bar->count(); ++i) {
            QVERIFY2(
                bar->tabRect(i).width() >= bar->fontMetrics().horizontalAdvance(bar->tabText(i)),
                qPrintable(bar->tabText(i)));
            tabs(*setup)->setCurrentIndex(i);
            const QStringList faults = whole(tabs(*setup)->widget(i));
            QVERIFY2(faults.isEmpty(), qPrintable(bar->tabText(i) + ": " + faults.join(", ")));
        }
    }
};

QTEST_MAIN(EditorTest)
#include "editor_test.moc"
