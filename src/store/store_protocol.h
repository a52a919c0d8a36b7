#pragma once
// How the values of store_types.h cross D-Bus between the program and typelab-store. The calls
// themselves are stated once, in data/dbus/org.typelab.Store1.xml, from which the service's
// adaptor and the program's proxy are generated.

#include "store/store_types.h"

#include <QDBusArgument>
#include <QMetaType>
#include <QString>

namespace StoreProtocol {

inline const char* const kServiceName = "org.typelab.Store";
inline const char* const kObjectPath = "/org/typelab/Store";
inline const char* const kInterface = "org.typelab.Store1";
// Only on a store started as a program's child.
inline const char* const kTestSeamsPath = "/org/typelab/StoreTestSeams";
// The outbox, for the forwarder alone (it runs as the store's own user).
inline const char* const kOutboxPath = "/org/typelab/Outbox";
// The forwarder's name on the system bus, by which the bus starts it.
inline const char* const kForwarderName = "org.typelab.Forward";

// Registers the values below with QtDBus; call once in each process before a call is made.
void registerTypes();

} // namespace StoreProtocol

// An exercise kind crosses as its number. A number no kind has arrives as it is: whoever takes
// it checks it.
QDBusArgument& operator<<(QDBusArgument& argument, ExerciseKind kind);
const QDBusArgument& operator>>(const QDBusArgument& argument, ExerciseKind& kind);
QDBusArgument& operator<<(QDBusArgument& argument, const GradeRow& row);
const QDBusArgument& operator>>(const QDBusArgument& argument, GradeRow& row);
QDBusArgument& operator<<(QDBusArgument& argument, const HistoryPages::Key& key);
const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryPages::Key& key);
QDBusArgument& operator<<(QDBusArgument& argument, const HistoryPages::Filter& filter);
const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryPages::Filter& filter);
QDBusArgument& operator<<(QDBusArgument& argument, const HistoryPages::Cursor& cursor);
const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryPages::Cursor& cursor);
QDBusArgument& operator<<(QDBusArgument& argument, const StoreReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, StoreReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const LoginReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, LoginReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const OpenReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, OpenReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const FinishReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, FinishReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const PasswordReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, PasswordReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const RowsReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, RowsReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const PageReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, PageReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const ResultLogEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, ResultLogEntry& entry);
QDBusArgument& operator<<(QDBusArgument& argument, const ResultLogReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, ResultLogReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const StudentLogsReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, StudentLogsReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const OutboxEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, OutboxEntry& entry);
QDBusArgument& operator<<(QDBusArgument& argument, const ClaimRequest& claim);
const QDBusArgument& operator>>(const QDBusArgument& argument, ClaimRequest& claim);
QDBusArgument& operator<<(QDBusArgument& argument, const OutboxReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, OutboxReply& reply);

Q_DECLARE_METATYPE(GradeRow)
Q_DECLARE_METATYPE(HistoryPages::Key)
Q_DECLARE_METATYPE(HistoryPages::Filter)
Q_DECLARE_METATYPE(HistoryPages::Cursor)
Q_DECLARE_METATYPE(StoreReply)
Q_DECLARE_METATYPE(LoginReply)
Q_DECLARE_METATYPE(OpenReply)
Q_DECLARE_METATYPE(FinishReply)
Q_DECLARE_METATYPE(PasswordReply)
Q_DECLARE_METATYPE(RowsReply)
Q_DECLARE_METATYPE(PageReply)
Q_DECLARE_METATYPE(ResultLogEntry)
Q_DECLARE_METATYPE(ResultLogReply)
Q_DECLARE_METATYPE(StudentLogsReply)
Q_DECLARE_METATYPE(OutboxEntry)
Q_DECLARE_METATYPE(ClaimRequest)
Q_DECLARE_METATYPE(OutboxReply)
