// setmenus and norightclick (bytelen is measured in the platform's own tests).

#include "platform/no_right_click.h"
#include "shell/main_window.h"
#include "support/test_support.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QtTest>

class TestSharedRoutines : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init() { TestSupport::resetState(); }

    void setmenusFollowsTheLoginMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("exercises");
        QTest::addColumn<bool>("maintenance");
        QTest::newRow("none") << 0 << false << false;
        QTest::newRow("practice") << 1 << true << false;
        QTest::newRow("test") << 2 << true << false;
        QTest::newRow("system") << 3 << true << true;
    }

    void setmenusFollowsTheLoginMode()
    {
        QFETCH(int, mode);
        QFETCH(bool, exercises);
        QFETCH(bool, maintenance);
        MainWindow window;
        // Start from the opposite state, as after a system login, to see every change.
        window.topMenu("lrxm")->menuAction()->setEnabled(!exercises);
        window.topMenu("xtwh")->menuAction()->setEnabled(!maintenance);
        window.setmenus(LoginMode(mode));
        QCOMPARE(window.topMenu("lrxm")->menuAction()->isEnabled(), exercises);
        QCOMPARE(window.topMenu("xtwh")->menuAction()->isEnabled(), maintenance);
    }

    void setmenusLeavesOtherModesAlone()
    {
        MainWindow window;
        window.topMenu("lrxm")->menuAction()->setEnabled(true);
        window.topMenu("xtwh")->menuAction()->setEnabled(false);
        window.setmenus(LoginMode(7));
        QVERIFY(window.topMenu("lrxm")->menuAction()->isEnabled());
        QVERIFY(!window.topMenu("xtwh")->menuAction()->isEnabled());
    }

    void norightclickSwallowsTheRightButton()
    {
        QPlainTextEdit box;
        box.setPlainText(QStringLiteral("帮助"));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        int menus = 0;
        box.setContextMenuPolicy(Qt::CustomContextMenu);
        connect(&box, &QWidget::customContextMenuRequested, this, [&menus] { ++menus; });

        QContextMenuEvent before(QContextMenuEvent::Mouse, QPoint(5, 5), box.viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(box.viewport(), &before);
        QCOMPARE(menus, 1);

        NoRightClick::norightclick(&box);
        QVERIFY(NoRightClick::guards(&box));
        QContextMenuEvent guarded(QContextMenuEvent::Mouse, QPoint(5, 5), box.viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(box.viewport(), &guarded);
        QTest::mouseClick(box.viewport(), Qt::RightButton);
        QCOMPARE(menus, 1);

        NoRightClick::release(&box);
        QVERIFY(!NoRightClick::guards(&box));
        QContextMenuEvent after(QContextMenuEvent::Mouse, QPoint(5, 5), box.viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(box.viewport(), &after);
        QCOMPARE(menus, 2);
        // Releasing a box that is not guarded changes nothing.
        NoRightClick::release(&box);
        QVERIFY(!NoRightClick::guards(&box));
        QContextMenuEvent again(QContextMenuEvent::Mouse, QPoint(5, 5), box.viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(box.viewport(), &again);
        QCOMPARE(menus, 3);
    }
};

QTEST_MAIN(TestSharedRoutines)
#include "test_shared_routines.moc"
