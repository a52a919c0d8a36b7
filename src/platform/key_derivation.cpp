#include "platform/key_derivation.h"

#include "platform/loaded_library.h"

#include <QFile>
#include <QHash>
#include <QMutex>

// SHA1_Transform and the SHA_CTX fields are all that is used of the low-level interface.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <cstring>

namespace {

// SHA-1 comes from the cryptography library the engine loads anyway, loaded here when a key is
// first derived (the engine is not loaded before either), for its fast compression.
#define TYPELAB_CRYPTO_FUNCTIONS(X)                                                                                    \
    X(SHA1_Init)                                                                                                       \
    X(SHA1_Update)                                                                                                     \
    X(SHA1_Final)                                                                                                      \
    X(SHA1_Transform)                                                                                                  \
    X(SHA1)
TYPELAB_LOADED_LIBRARY(Crypto, loadCrypto, TYPELAB_CRYPTO_LIBRARY, TYPELAB_CRYPTO_FUNCTIONS)

const Crypto& crypto()
{
    return *loadCrypto();
}

// The inner or outer HMAC state after its pad block; a 20-byte message then takes one
// compression of a block padded in advance.
void hmacRound(const SHA_CTX& padded, unsigned char block[SHA_CBLOCK], unsigned char digest[SHA_DIGEST_LENGTH])
{
    SHA_CTX state = padded;
    crypto().SHA1_Transform(&state, block);
    const unsigned int words[5] = {state.h0, state.h1, state.h2, state.h3, state.h4};
    for (int i = 0; i < 5; ++i) {
        digest[4 * i] = static_cast<unsigned char>(words[i] >> 24);
        digest[4 * i + 1] = static_cast<unsigned char>(words[i] >> 16);
        digest[4 * i + 2] = static_cast<unsigned char>(words[i] >> 8);
        digest[4 * i + 3] = static_cast<unsigned char>(words[i]);
    }
}

struct KeyCache {
    QMutex lock;
    QHash<QByteArray, QByteArray> keys; // password, NUL, salt → raw key text
};

KeyCache& cache()
{
    static KeyCache instance;
    return instance;
}

// Enough for a laboratory's machines; beyond it the oldest are not worth tracking.
constexpr int kCachedKeys = 1024;

} // namespace

namespace KeyDerivation {

QByteArray pbkdf2HmacSha1(const QByteArray& password, const QByteArray& salt, int iterations, int length)
{
    unsigned char key[SHA_CBLOCK] = {};
    if (password.size() > SHA_CBLOCK)
        crypto().SHA1(reinterpret_cast<const unsigned char*>(password.constData()), size_t(password.size()), key);
    else
        std::memcpy(key, password.constData(), size_t(password.size()));
    unsigned char innerPad[SHA_CBLOCK], outerPad[SHA_CBLOCK];
    for (int i = 0; i < SHA_CBLOCK; ++i) {
        innerPad[i] = key[i] ^ 0x36;
        outerPad[i] = key[i] ^ 0x5c;
    }
    SHA_CTX inner, outer;
    crypto().SHA1_Init(&inner);
    crypto().SHA1_Update(&inner, innerPad, SHA_CBLOCK);
    crypto().SHA1_Init(&outer);
    crypto().SHA1_Update(&outer, outerPad, SHA_CBLOCK);

    // A 20-byte message after a 64-byte pad: 0x80, zeros, and the length of 84 bytes in bits.
    unsigned char block[SHA_CBLOCK] = {};
    block[SHA_DIGEST_LENGTH] = 0x80;
    block[62] = (84 * 8) >> 8;
    block[63] = (84 * 8) & 0xff;

    QByteArray out;
    for (quint32 index = 1; out.size() < length; ++index) {
        const unsigned char indexBytes[4] = {static_cast<unsigned char>(index >> 24),
                                             static_cast<unsigned char>(index >> 16),
                                             static_cast<unsigned char>(index >> 8), static_cast<unsigned char>(index)};
        unsigned char u[SHA_DIGEST_LENGTH], t[SHA_DIGEST_LENGTH];
        SHA_CTX first = inner;
        crypto().SHA1_Update(&first, salt.constData(), size_t(salt.size()));
        crypto().SHA1_Update(&first, indexBytes, 4);
        crypto().SHA1_Final(u, &first);
        first = outer;
        crypto().SHA1_Update(&first, u, SHA_DIGEST_LENGTH);
        crypto().SHA1_Final(u, &first);
        std::memcpy(t, u, SHA_DIGEST_LENGTH);
        for (int round = 1; round < iterations; ++round) {
            std::memcpy(block, u, SHA_DIGEST_LENGTH);
            hmacRound(inner, block, u);
            std::memcpy(block, u, SHA_DIGEST_LENGTH);
            hmacRound(outer, block, u);
            for (int k = 0; k < SHA_DIGEST_LENGTH; ++k)
                t[k] ^= u[k];
        }
        out.append(reinterpret_cast<const char*>(t), qMin(SHA_DIGEST_LENGTH, int(length - out.size())));
    }
    return out;
}

QByteArray rawKeyFor(const QString& path, const QByteArray& password)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray salt = file.read(saltBytes);
    if (salt.size() != saltBytes || !loadCrypto())
        return {};
    const QByteArray id = password + '\0' + salt;
    KeyCache& keys = cache();
    {
        QMutexLocker locked(&keys.lock);
        if (const auto found = keys.keys.constFind(id); found != keys.keys.constEnd())
            return *found;
    }
    const QByteArray raw = "x'" + pbkdf2HmacSha1(password, salt, rounds, keyBytes).toHex() + "'";
    QMutexLocker locked(&keys.lock);
    if (keys.keys.size() >= kCachedKeys)
        keys.keys.clear();
    keys.keys.insert(id, raw);
    return raw;
}

} // namespace KeyDerivation
