#pragma once
// typelab-store's work, without the bus: the only code that opens the grade database, in parts
// that each do one job. The bus object (store_bus_object.h) hands each call to one of them.

#include "service/exercises.h"
#include "service/logins.h"
#include "service/maintenance.h"
#include "service/outbox.h"
#include "service/result_reads.h"
#include "service/school_claims.h"
#include "service/sessions.h"

struct StoreService {
    explicit StoreService(StorePlaces places, int lockSeconds = 30);

    const StorePlaces& places() const { return database.places(); }

    // The start-up purge: results and test logins 15 or more days old, with their logs,
    // sessions idle for an hour and exercises a day old; the outbox keeps what is unsent.
    StoreReply purge();
    // Writes the share's copy afresh; the problem, if any.
    std::optional<QString> publishCopy();

    StoreDatabase database;
    Sessions sessions{database};
    PasswordAttempts attempts;
    Outbox outbox{database};
    SchoolClaims claims;
    Logins logins{database, sessions, attempts, outbox};
    Exercises exercises{database, sessions, outbox};
    ResultReads results{database, sessions};
    Maintenance maintenance{database, sessions, exercises};
};
