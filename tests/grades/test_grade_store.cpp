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
};

QTEST_GUILESS_MAIN(TestGradeStore)
#include "test_grade_store.moc"
