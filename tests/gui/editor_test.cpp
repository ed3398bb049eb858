// The editor as an administrator meets it: the command line, Qt's own dialogs in Russian, and
// files dropped on the window.
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "application.h"
#include "gui.h"

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

  private slots:
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
        auto setup = orbex::createWindows();
        QTemporaryDir dir;
        const QString path = dir.filePath("a.cfg");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("USERN='kassa'\n");
        f.close();

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
};

QTEST_MAIN(EditorTest)
#include "editor_test.moc"
