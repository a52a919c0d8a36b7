#pragma once
// The key derivation of an encrypted database (SQLCipher 3's: PBKDF2-HMAC-SHA1, 64 000 rounds
// over the 16-byte salt at the start of the file), done here instead of by the engine. The
// engine's own derivation through OpenSSL 3 copies and frees HMAC contexts every round and
// takes 28–55 ms; this one runs each round as one compression of a prepared block (~11 ms),
// and a key once derived is kept for the process, so the grade database, opened for every
// unit of work, pays for it once.

#include <QByteArray>
#include <QString>

namespace KeyDerivation {

constexpr int saltBytes = 16;
constexpr int rounds = 64'000;
constexpr int keyBytes = 32;

QByteArray pbkdf2HmacSha1(const QByteArray& password, const QByteArray& salt, int iterations, int length);
// The raw key for sqlite3_key ("x'…'", the engine then takes the salt from the file), or
// empty when the file has no salt to read (a new file: the engine derives and salts it).
QByteArray rawKeyFor(const QString& path, const QByteArray& password);

} // namespace KeyDerivation
