#include "school/server_statements.h"

#include "school/server_notes.h"
#include "school/server_result.h"

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 17);
}

} // namespace

namespace ServerStatements {

std::optional<Pg::Statement> forEntry(const OutboxEntry& entry)
{
    switch (entry.kind) {
    case OutboxEntry::Kind::Result: {
        const std::optional<ServerResult> result = ServerResult::decode(entry.body);
        if (!result || result->id != entry.id)
            return std::nullopt;
        const GradeRow& row = result->row;
        return Pg::Statement{
            QStringLiteral("SELECT typelab.submit($1::uuid, $2, $3, $4, $5::float8, $6::float8, $7::float8, $8::date,"
                           " $9::time, $10, $11::int2, $12::bytea, $13::bytea)"),
            {result->id, row.xh, row.xm, row.lrxm, number(row.lrcj), number(row.lrsd), number(row.lrzql),
             row.lrdate.toString(Qt::ISODate), row.lrtime.toString(QStringLiteral("HH:mm:ss")),
             row.lrpc.isEmpty() ? Pg::Param::null() : Pg::Param(row.lrpc), QString::number(int(result->kind)),
             Pg::Param::binary(result->text), Pg::Param::binary(result->log)},
            false};
    }
    case OutboxEntry::Kind::Claim:
    case OutboxEntry::Kind::Allowance: {
        const std::optional<ServerClaim> claim = ServerClaim::decode(entry.body);
        if (!claim || claim->id != entry.id)
            return std::nullopt;
        if (entry.kind == OutboxEntry::Kind::Allowance)
            return Pg::Statement{QStringLiteral("SELECT typelab.allow_attempt($1::uuid, $2, $3, $4)"),
                                 {claim->id, claim->batch, claim->xh, claim->xm},
                                 false};
        return Pg::Statement{QStringLiteral("SELECT typelab.record_claim($1::uuid, $2, $3, $4, $5::timestamptz)"),
                             {claim->id, claim->batch, claim->xh, claim->xm,
                              claim->onMachine.isValid() ? Pg::Param(claim->onMachine.toString(Qt::ISODateWithMs))
                                                         : Pg::Param::null()},
                             false};
    }
    case OutboxEntry::Kind::Progress: {
        const std::optional<ProgressNote> note = ProgressNote::decode(entry.body);
        if (!note)
            return std::nullopt;
        return Pg::Statement{QStringLiteral("SELECT typelab.note_progress($1, $2, $3, $4::int, $5::int)"),
                             {note->batch, note->xh, note->xm, QString::number(note->typed),
                              QString::number(note->secondsLeft)},
                             false};
    }
    }
    return std::nullopt;
}

bool acknowledges(OutboxEntry::Kind kind, const QString& answer)
{
    switch (kind) {
    case OutboxEntry::Kind::Result:
        return answer == QLatin1String("stored") || answer == QLatin1String("again");
    case OutboxEntry::Kind::Claim:
    case OutboxEntry::Kind::Allowance:
    case OutboxEntry::Kind::Progress:
        // A claim found to be another machine's is recorded all the same, as a conflict.
        return !answer.isEmpty();
    }
    return false;
}

Pg::Statement claim(const ClaimRequest& request)
{
    return {QStringLiteral("SELECT typelab.claim_attempt($1, $2, $3)"), {request.batch, request.xh, request.xm}, false};
}

Pg::Statement claimedAt(const ClaimRequest& request)
{
    // ISO 8601 with the zone, as QDateTime reads it.
    return {QStringLiteral("SELECT to_char(typelab.claimed_at($1, $2), 'YYYY-MM-DD\"T\"HH24:MI:SS.MSTZH:TZM')"),
            {request.batch, request.xh},
            false};
}

} // namespace ServerStatements
