// typelab-admin, run as the administrator runs it: creating a grade database never overwrites
// one, and packed texts are exercise files the program reads.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_text.h"
#include "grades/grade_store.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestAdminTool : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    static int admin(const QStringList& arguments, QByteArray* errors = nullptr)
    {
        QProcess process;
        process.start(qEnvironmentVariable("TYPELAB_APP_DIR") + QStringLiteral("/typelab-admin"), arguments);
        process.closeWriteChannel();
        if (!process.waitForFinished(30000))
            return -1;
        if (errors)
            *errors = process.readAllStandardError();
        return process.exitCode();
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initCreatesTheGradeDatabaseOnce()
    {
        const QString path = dir_.filePath(QStringLiteral("stugrade.mdb"));
        QCOMPARE(admin({"init", "--user", "Teacher", "--password", "pw1", "--second-password", "二次", path}), 0);
        {
            GradeStore store = GradeStore::openFile(path);
            QVERIFY(store.systemLoginMatches(QStringLiteral("teacher"), QStringLiteral("pw1")));
            QVERIFY(store.secondLoginPasswordMatches(QStringLiteral("二次")));
            store.addResult({QStringLiteral("2026000001"), QStringLiteral("张三"), QStringLiteral("英文"), 90, 100, 95,
                             QDate(2026, 12, 8), QTime(9, 0), QString()});
        }
        const QByteArray before = contents(path);
        QByteArray errors;
        QCOMPARE(admin({"init", "--user", "x", "--password", "y", "--second-password", "z", path}, &errors), 1);
        QVERIFY(errors.contains("already exists"));
        QCOMPARE(contents(path), before);
    }

    void initRefusesValuesTheDialogsCannotTake()
    {
        const QString path = dir_.filePath(QStringLiteral("long.mdb"));
        QCOMPARE(admin({"init", "--user", "admin", "--password", "12345678901", "--second-password", "z", path}), 1);
        QCOMPARE(admin({"init", "--user", "admin", "--password", "y", "--second-password", "一二三四五六", path}), 1);
        QVERIFY(!QFile::exists(path));
    }

    void packedTextIsAnExerciseFile()
    {
        const QString source = dir_.filePath(QStringLiteral("text.txt"));
        QFile out(source);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QStringLiteral("第一行，中文。\n第二行 with ASCII\n").toUtf8());
        out.close();
        const QString target = dir_.filePath(QStringLiteral("cdzcs1.dat"));
        QCOMPARE(admin({"pack", source, target}), 0);
        const auto text = ExerciseFileFormat::textOf(contents(target));
        QVERIFY(text.has_value());
        QVERIFY(text->endsWith("\r\n"));
        const auto exercise = ExerciseLoader::load(target, ExerciseKind::Chinese);
        QVERIFY(exercise.has_value());
        QCOMPARE(exercise->lineCount(), 2);

        out.setFileName(source);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QStringLiteral("表情😀\n").toUtf8());
        out.close();
        QByteArray errors;
        QCOMPARE(admin({"pack", source, target}, &errors), 1);
        QVERIFY(QString::fromUtf8(errors).contains(QStringLiteral("😀")));
        QCOMPARE(ExerciseLoader::load(target, ExerciseKind::Chinese)->lineCount(), 2); // left as it was
    }
};

QTEST_GUILESS_MAIN(TestAdminTool)
#include "test_admin_tool.moc"
