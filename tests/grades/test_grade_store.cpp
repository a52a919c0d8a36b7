// The grade store's own rules, without a window.

#include "grades/grade_store.h"
#include "support/test_support.h"

#include <QtTest>

class TestGradeStore : public QObject {
    Q_OBJECT

private slots:
    // The first test login of a student in a batch is recorded; any later one, whatever the
    // case of its letters, finds it and records nothing more.
    void testLoginClaimsItsBatchOnce()
    {
        TestSupport::AppFolder app;
        GradeStore store = app.store();
        const QDate day(2026, 12, 8);
        using Claim = GradeStore::TestLoginClaim;
        QCOMPARE(store.claimTestLogin(QStringLiteral("2024000017"), QStringLiteral("B1"), day), Claim::FirstLogin);
        QCOMPARE(store.claimTestLogin(QStringLiteral("2024000017"), QStringLiteral("b1"), day), Claim::AlreadyRecorded);
        QCOMPARE(store.claimTestLogin(QStringLiteral("2024000017"), QStringLiteral("B2"), day), Claim::FirstLogin);
        QCOMPARE(store.claimTestLogin(QStringLiteral("2024000018"), QStringLiteral("B1"), day), Claim::FirstLogin);
        QVERIFY(store.hasTestLogin(QStringLiteral("2024000017"), QStringLiteral("B1")));
        // Three records, one per first login.
        Statement count = GradeStoreInspector::database(store).prepare(QStringLiteral("SELECT count(*) FROM recxh"));
        QVERIFY(count.step());
        QCOMPARE(count.integer(0), 3);
    }

    // A result or a test login 15 days old goes; one 14 days old stays until the next day.
    void purgeTakesFifteenDaysAndOlder()
    {
        TestSupport::AppFolder app;
        GradeStore store = app.store();
        const QDate today(2026, 12, 8);
        for (const int age : {16, 15, 14, 0}) {
            GradeRow row{QStringLiteral("%1").arg(age), QStringLiteral("某"), QStringLiteral("英文"), 1, 2, 3,
                         today.addDays(-age), QTime(9, 0), QStringLiteral("B1")};
            store.addResult(row);
            store.addTestLogin(row.xh, row.lrpc, row.lrdate);
        }
        const GradeStore::PurgeCounts purged = store.purgeOld(today);
        QCOMPARE(purged.results, 2);
        QCOMPARE(purged.testLogins, 2);
        QStringList kept;
        for (const GradeRow& row : store.allResults())
            kept << row.xh;
        QCOMPARE(kept, (QStringList{"14", "0"}));
        QVERIFY(store.hasTestLogin(QStringLiteral("14"), QStringLiteral("B1")));
        QVERIFY(!store.hasTestLogin(QStringLiteral("15"), QStringLiteral("B1")));
        QCOMPARE(store.purgeOld(today.addDays(1)).results, 1); // the next day: the one now 15 days old
    }
};

QTEST_GUILESS_MAIN(TestGradeStore)
#include "test_grade_store.moc"
