// The main window on the screen it opens on (the offscreen platform's screen from a file of
// tests/gui/screens): the fixed window where it fits, its pages scrolled within the screen
// where it does not. ORBCFG_SCREEN says which the screen is: "fits" or "small".
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "forms/Conf/screenfit.h"
#include "tests/gui/gui.h"

class ScreenTest : public QObject {
    Q_OBJECT

    static bool inside(const QWidget* w, const QRect& area) {
        const QRect r(w->mapToGlobal(QPoint()), w->size());
        return w->isVisible() && area.contains(r);
    }

  private slots:
    void windowOpensWithinTheScreen() {
        const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
        const bool small = qgetenv("ORBCFG_SCREEN") == "small";
        auto setup = orbex::createWindows();
        setup->show();
        QVERIFY(QTest::qWaitForWindowExposed(setup.get()));
        auto* tabs = setup->findChild<QTabWidget*>("PageControl1");
        int scrolled = 0;
        for (int i = 0; i < tabs->count(); ++i)
            scrolled += qobject_cast<QScrollArea*>(tabs->widget(i)) != nullptr;
        QCOMPARE(setup->minimumSize(), setup->maximumSize());  // a fixed window either way

        if (!small) {
            // As the window always was: as large as its pages, nothing scrolled.
            QCOMPARE(scrolled, 0);
            QCOMPARE(setup->size(), setup->sizeHint());
            QVERIFY(!tabs->usesScrollButtons());
            return;
        }
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 144);
        QCOMPARE(scrolled, tabs->count());
        auto* first = static_cast<QScrollArea*>(tabs->widget(0));
        QVERIFY(first->verticalScrollBar()->maximum() > 0);  // the page is taller than its room
        QVERIFY(free.contains(setup->frameGeometry()));
        for (const char* name : {"Button1", "Button2", "ParamSearch", "StaticText2"})
            QVERIFY2(inside(setup->findChild<QWidget*>(name), free), name);
        QVERIFY(inside(setup->statusBar(), free));

        // The last tab can be chosen, and a page's last row is scrolled to by the focus.
        tabs->setCurrentIndex(tabs->count() - 1);
        QVERIFY(inside(setup->findChild<QWidget*>("WIFI"), free));
        tabs->setCurrentIndex(0);
        auto* last = setup->findChild<QWidget*>("APM");
        QVERIFY(last);
        setup->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(setup.get()));
        last->setFocus();
        QVERIFY(inside(last, QRect(tabs->mapToGlobal(QPoint()), tabs->size())));
    }

    // The rule itself, for screens that the platform does not offer.
    void fitWithinTheFreeArea() {
        const QSize frame(10, 40);
        const WindowFit fits = fitWithin({766, 550}, frame, {0, 0, 1366, 728});
        QVERIFY(!fits.scroll);
        QCOMPARE(fits.size, QSize(766, 550));
        const WindowFit tall = fitWithin({1148, 803}, frame, {0, 30, 1366, 738});
        QVERIFY(tall.scroll);
        QCOMPARE(tall.size, QSize(1148, 698));
        QCOMPARE(tall.place, QPoint(104, 30));
        const WindowFit both = fitWithin({1148, 803}, frame, {0, 0, 1024, 768});
        QCOMPARE(both.size, QSize(1014, 728));
        QCOMPARE(both.place, QPoint(0, 0));
    }
};

QTEST_MAIN(ScreenTest)
#include "screen_test.moc"
