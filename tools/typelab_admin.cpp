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
//   typelab-admin join BUNDLE [APP_FOLDER]
//       installs the bundle typelab-server enroll made for this machine: from then on the store
//       forwards every result to the school server. Without APP_FOLDER: the installed
//       machine's, for the store service's user only (as root)
//   typelab-admin status [APP_FOLDER]
//       the machine's name on the school server, what waits to be sent, the last success and
//       the last problem

#include "collect/score_collection.h"
#include "collect/score_export.h"
#include "exercise/exercise_file_format.h"
#include "grades/grade_store.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "school/bundle.h"
#include "service/outbox.h"
#include "service/store_places.h"

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
             "       typelab-admin purge APP_FOLDER [--today YYYY-MM-DD]\n"
             "       typelab-admin join BUNDLE [APP_FOLDER]\n"
             "       typelab-admin status [APP_FOLDER]\n";
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

// The places of the installed machine, or of an Application folder given.
StorePlaces placesOf(const QStringList& args, int at)
{
    return args.size() > at ? StorePlaces::ownFolder(args[at]) : StorePlaces::installed();
}

int join(const QStringList& args)
{
    if (args.isEmpty() || args.size() > 2)
        return usage();
    const bool installed = args.size() == 1;
    if (installed && ::geteuid() != 0) {
        err() << "typelab-admin: join installs the bundle for the store service's user: run it as root.\n";
        return 1;
    }
    const StorePlaces places = placesOf(args, 1);
    const auto read = Bundle::read(args[0]);
    if (const QString* problem = std::get_if<QString>(&read)) {
        err() << "typelab-admin: " << *problem << "\n";
        return 1;
    }
    const Bundle::Contents& contents = std::get<Bundle::Contents>(read);
    const auto checked = Bundle::check(contents, QDateTime::currentDateTimeUtc());
    if (const QString* problem = std::get_if<QString>(&checked)) {
        err() << "typelab-admin: " << args[0] << ": " << *problem << "\n";
        return 1;
    }
    const Bundle::Checked& bundle = std::get<Bundle::Checked>(checked);
    if (const auto problem = Bundle::install(contents, places.serverFolder(),
                                             places.stateFolder + QStringLiteral("/data/school-ca.crt"),
                                             installed ? QStringLiteral("typelab") : QString())) {
        err() << "typelab-admin: the bundle was not installed: " << *problem << "\n";
        return 1;
    }
    out() << "This machine is " << bundle.machine << " on the school server (" << bundle.server
          << "); its certificate is valid until " << bundle.validTo.toLocalTime().toString(Qt::ISODate) << ".\n"
          << "From now on every result stored here is also sent there.\n";
    return 0;
}

int status(const QStringList& args)
{
    if (args.size() > 1)
        return usage();
    const StorePlaces places = placesOf(args, 0);
    Bundle::Contents contents;
    QByteArray* parts[] = {&contents.caCertificate, &contents.machineCertificate, &contents.machineKey,
                           &contents.server};
    bool joined = true;
    for (int i = 0; i < 4; ++i) {
        QFile file(places.serverFolder() + u'/' + QString::fromLatin1(Bundle::kFiles[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            joined = false;
            break;
        }
        *parts[i] = file.readAll();
    }
    int code = 0;
    if (!joined) {
        out() << "machine: (none: this machine has not joined a school server)\n";
    } else {
        const auto checked = Bundle::check(contents, QDateTime::currentDateTimeUtc());
        if (const auto* bundle = std::get_if<Bundle::Checked>(&checked)) {
            out() << "machine: " << bundle->machine << "\n"
                  << "server: " << bundle->server << "\n"
                  << "certificate valid until: " << bundle->validTo.toLocalTime().toString(Qt::ISODate) << "\n";
        } else {
            out() << "machine: (the installed bundle cannot be used: " << std::get<QString>(checked) << ")\n";
            code = 1;
        }
    }
    Outbox::Status outbox;
    if (QFile::exists(places.storeDatabase())) {
        try {
            Database store = Database::open(places.storeDatabase(), Database::Mode::ReadOnly);
            outbox = Outbox::statusOf(store, QString());
        } catch (const DbError& error) {
            // A store that has not forwarded yet has no outbox in its file.
            if (!error.engineMessage().contains(QLatin1String("no such table"))) {
                err() << "typelab-admin: " << error.describe() << "\n";
                return 1;
            }
        }
    }
    out() << "waiting: " << outbox.waiting << "\n"
          << "notes waiting: " << outbox.notesWaiting << "\n"
          << "refused: " << outbox.refused << "\n"
          << "last success: " << (outbox.lastSuccess.isEmpty() ? QStringLiteral("never") : outbox.lastSuccess) << "\n"
          << "last error: " << (outbox.lastError.isEmpty() ? QStringLiteral("none") : outbox.lastError) << "\n";
    return code;
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
    if (command == "join")
        return join(args);
    if (command == "status")
        return status(args);
    return usage();
}
