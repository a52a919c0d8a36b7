// typelab-admin: the administrator's tool beside the program.
//   typelab-admin init [--user NAME] [--password P] [--second-password P] [FILE]
//       creates a new grade database (never over an existing file); asks for what is not given.
//       Without FILE: the installed machine's, in the store service's place, for its user only
//   typelab-admin pack SOURCE.txt TARGET.dat
//       turns a UTF-8 (or code page 936) text into an exercise or help file
//   typelab-admin export SOURCE OUTPUT [--batch B]
//       writes the results of a collection file or a grade database to OUTPUT (.xlsx or .csv)
//   typelab-admin purge APP_FOLDER [--today YYYY-MM-DD]
//       opens the Application folder's grade database and deletes results and test logins 15
//       or more days old, as the store does whenever the program starts

#include "collect/score_collection.h"
#include "collect/score_export.h"
#include "exercise/exercise_file_format.h"
#include "grades/grade_store.h"
#include "platform/clock.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <pwd.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usage()
{
    err() << "usage: typelab-admin init [--user NAME] [--password P] [--second-password P] [FILE]\n"
             "       typelab-admin pack SOURCE.txt TARGET.dat\n"
             "       typelab-admin export SOURCE OUTPUT [--batch B]\n"
             "       typelab-admin purge APP_FOLDER [--today YYYY-MM-DD]\n";
    return 2;
}

QString ask(const QString& prompt)
{
    out() << prompt << Qt::flush;
    std::string line;
    if (!std::getline(std::cin, line))
        return QString();
    return QString::fromStdString(line).trimmed();
}

int init(QStringList args)
{
    SystemRow row;
    bool haveUser = false, havePassword = false, haveSecond = false;
    QString file;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if ((arg == "--user" || arg == "--password" || arg == "--second-password") && args.isEmpty())
            return usage();
        if (arg == "--user") {
            row.username = args.takeFirst();
            haveUser = true;
        } else if (arg == "--password") {
            row.usermm = args.takeFirst();
            havePassword = true;
        } else if (arg == "--second-password") {
            row.xsmm = args.takeFirst();
            haveSecond = true;
        } else if (file.isEmpty() && !arg.startsWith("--")) {
            file = arg;
        } else {
            return usage();
        }
    }
    const bool installed = file.isEmpty();
    if (installed)
        file = QStringLiteral(TYPELAB_INSTALLED_STATE_FOLDER "/data/stugrade.mdb");
    if (QFile::exists(file)) {
        err() << "typelab-admin: " << file << " already exists; it is left as it is.\n";
        return 1;
    }
    if (!haveUser)
        row.username = ask("System user name: ");
    if (!havePassword)
        row.usermm = ask("System password: ");
    if (!haveSecond)
        row.xsmm = ask("Second-login password: ");
    // The program's dialogs take at most 10 bytes of code page 936 (five Chinese characters).
    for (const QString& value : {row.username, row.usermm, row.xsmm}) {
        const auto bytes = CodePage::encode(value);
        if (value.isEmpty() || !bytes || bytes->size() > 10) {
            err() << "typelab-admin: the user name and the passwords must each be 1 to 10 bytes"
                     " (ASCII characters count 1, Chinese characters 2).\n";
            return 1;
        }
    }
    try {
        GradeStore::create(file, row);
    } catch (const DbError& error) {
        err() << "typelab-admin: cannot create " << file << ": " << error.engineMessage() << "\n";
        return 1;
    }
    // On an installed machine the database is the store service's alone: its user reads and
    // writes it, nobody else.
    if (installed) {
        const QByteArray local = QFile::encodeName(file);
        const passwd* service = getpwnam("typelab");
        if (!service || chown(local.constData(), service->pw_uid, service->pw_gid) != 0
            || chmod(local.constData(), 0600) != 0) {
            err() << "typelab-admin: created " << file << ", but could not give it to the user typelab\n";
            return 1;
        }
        out() << "Created " << file << " (read and written by the store service's user typelab only).\n";
        return 0;
    }
    out() << "Created " << file << "\n";
    return 0;
}

int pack(const QStringList& args)
{
    if (args.size() != 2)
        return usage();
    QFile source(args[0]);
    if (!source.open(QIODevice::ReadOnly)) {
        err() << "typelab-admin: cannot read " << args[0] << "\n";
        return 1;
    }
    const auto converted = ExerciseFileFormat::toExerciseText(source.readAll());
    if (!converted.unencodable.isEmpty()) {
        err() << "typelab-admin: " << args[0]
              << " holds a character code page 936 cannot hold: " << converted.unencodable << "\n";
        return 1;
    }
    QSaveFile target(args[1]);
    if (!target.open(QIODevice::WriteOnly) || target.write(ExerciseFileFormat::build(converted.text)) < 0
        || !target.commit()) {
        err() << "typelab-admin: cannot write " << args[1] << "\n";
        return 1;
    }
    return 0;
}

int exportScores(QStringList args)
{
    QString batch;
    QStringList files;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == "--batch") {
            if (args.isEmpty())
                return usage();
            batch = args.takeFirst().trimmed();
        } else if (arg.startsWith("--")) {
            return usage();
        } else {
            files << arg;
        }
    }
    if (files.size() != 2)
        return usage();
    if (!batch.isEmpty() && !ScoreCollection::batchAccepted(batch)) {
        err() << "typelab-admin: " << ScoreCollection::batchRefusal << "\n";
        return 1;
    }
    ScoreExport::Format format;
    if (!ScoreExport::formatOf(files[1], &format)) {
        err() << "typelab-admin: " << files[1] << ": the output must end in .xlsx or .csv\n";
        return 2;
    }
    const ScoreExport::Outcome outcome = ScoreExport::run(files[0], batch, files[1]);
    (outcome.written ? out() : err()) << QString(outcome.message).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                      << "\n";
    return outcome.written ? 0 : 1;
}

int purge(QStringList args)
{
    QDate today = Clock::today();
    if (args.size() == 3 && args[1] == QLatin1String("--today")) {
        today = QDate::fromString(args[2], Qt::ISODate);
        if (!today.isValid())
            return usage();
    } else if (args.size() != 1) {
        return usage();
    }
    try {
        GradeStore store = GradeStore::open(args[0]);
        const GradeStore::PurgeCounts purged = store.purgeOld(today);
        out() << "purged " << purged.results << " results and " << purged.testLogins << " test logins\n";
    } catch (const DbError& error) {
        err() << error.describe() << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == "init")
        return init(args);
    if (command == "pack")
        return pack(args);
    if (command == "export")
        return exportScores(args);
    if (command == "purge")
        return purge(args);
    return usage();
}
