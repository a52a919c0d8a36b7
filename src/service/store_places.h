#pragma once
// Where the store service keeps what it owns. On an installed machine the program lies in
// /opt/typelab and the grade database, the store's own tables and the exercise texts belong to
// the service's user under /var/lib/typelab (the program finds yw, zw and data/help.dat through
// links), with a copy of the results for the lab's share; a build folder or a demo keeps all of
// it in its own Application folder, as it always did.

#include "exercise/exercise_text.h"

#include <QString>

struct StorePlaces {
    QString appFolder;   // the program's folder this service answers for
    QString stateFolder; // data/stugrade.mdb, data/typelab-store.db, yw, zw, data/help.dat, server
    QString shareFolder; // data/stugrade.mdb, the copy the share serves; empty: none is kept

    static StorePlaces installed();
    static StorePlaces ownFolder(const QString& appFolder);

    QString gradeDatabase() const { return stateFolder + QStringLiteral("/data/stugrade.mdb"); }
    QString storeDatabase() const { return stateFolder + QStringLiteral("/data/typelab-store.db"); }
    // The school server's bundle, once the machine has joined one: ca.crt, machine.crt,
    // machine.key and server (see typelab-admin join).
    QString serverFolder() const { return stateFolder + QStringLiteral("/server"); }
    QString exerciseFile(ExerciseKind kind, int digit) const
    {
        return ExerciseLoader::pathFor(stateFolder, kind, digit);
    }
    QString publishedCopy() const
    {
        return shareFolder.isEmpty() ? QString() : shareFolder + QStringLiteral("/data/stugrade.mdb");
    }
    // The text file a relative name stands for ("yw/ydzcs3.dat", "zw/cdzcs0.dat",
    // "data/help.dat"), or empty for any other name: the service writes no other file.
    QString ownedText(const QString& relativeName) const;
};
