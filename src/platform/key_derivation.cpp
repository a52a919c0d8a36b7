#include "platform/key_derivation.h"

#include <QFile>
#include <QHash>
#include <QMutex>

#include <array>
#include <cstdint>
#include <cstring>

namespace {

// SHA-1 (FIPS 180-4), only as far as the derivation needs it: a state and its compression.
// Written here so that the program does not load a cryptography library to start.
using Sha1State = std::array<uint32_t, 5>;
constexpr Sha1State kSha1Start = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
constexpr int kBlock = 64;
constexpr int kDigest = 20;

uint32_t rotl(uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

void compress(Sha1State& state, const unsigned char block[kBlock])
{
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 | uint32_t(block[4 * i + 2]) << 8
            | uint32_t(block[4 * i + 3]);
    for (int i = 16; i < 80; ++i)
        w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const uint32_t next = rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

void digestOf(const Sha1State& state, unsigned char out[kDigest])
{
    for (int i = 0; i < 5; ++i) {
        out[4 * i] = static_cast<unsigned char>(state[i] >> 24);
        out[4 * i + 1] = static_cast<unsigned char>(state[i] >> 16);
        out[4 * i + 2] = static_cast<unsigned char>(state[i] >> 8);
        out[4 * i + 3] = static_cast<unsigned char>(state[i]);
    }
}

// The whole message hashed from `state` on, which has already taken `before` bytes.
void finish(Sha1State state, quint64 before, const QByteArray& message, unsigned char out[kDigest])
{
    QByteArray padded = message;
    const quint64 bits = (before + quint64(message.size())) * 8;
    padded.append(char(0x80));
    while ((padded.size() + 8) % kBlock != 0)
        padded.append(char(0));
    for (int i = 7; i >= 0; --i)
        padded.append(char(bits >> (8 * i)));
    for (qsizetype at = 0; at < padded.size(); at += kBlock)
        compress(state, reinterpret_cast<const unsigned char*>(padded.constData() + at));
    digestOf(state, out);
}

// One HMAC round on a 20-byte message: one compression of a block padded in advance, from
// the state the pad block left.
void hmacRound(const Sha1State& padded, unsigned char block[kBlock], unsigned char digest[kDigest])
{
    Sha1State state = padded;
    compress(state, block);
    digestOf(state, digest);
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
    unsigned char key[kBlock] = {};
    if (password.size() > kBlock)
        finish(kSha1Start, 0, password, key);
    else
        std::memcpy(key, password.constData(), size_t(password.size()));
    unsigned char innerPad[kBlock], outerPad[kBlock];
    for (int i = 0; i < kBlock; ++i) {
        innerPad[i] = key[i] ^ 0x36;
        outerPad[i] = key[i] ^ 0x5c;
    }
    Sha1State inner = kSha1Start, outer = kSha1Start;
    compress(inner, innerPad);
    compress(outer, outerPad);

    // A 20-byte message after a 64-byte pad: 0x80, zeros, and the length of 84 bytes in bits.
    unsigned char block[kBlock] = {};
    block[kDigest] = 0x80;
    block[62] = (84 * 8) >> 8;
    block[63] = (84 * 8) & 0xff;

    QByteArray out;
    for (quint32 index = 1; out.size() < length; ++index) {
        QByteArray first = salt;
        for (int shift = 24; shift >= 0; shift -= 8)
            first.append(char(index >> shift));
        unsigned char u[kDigest], t[kDigest];
        finish(inner, kBlock, first, u);
        finish(outer, kBlock, QByteArray(reinterpret_cast<const char*>(u), kDigest), u);
        std::memcpy(t, u, kDigest);
        for (int round = 1; round < iterations; ++round) {
            std::memcpy(block, u, kDigest);
            hmacRound(inner, block, u);
            std::memcpy(block, u, kDigest);
            hmacRound(outer, block, u);
            for (int k = 0; k < kDigest; ++k)
                t[k] ^= u[k];
        }
        out.append(reinterpret_cast<const char*>(t), qMin(kDigest, int(length - out.size())));
    }
    return out;
}

QByteArray rawKeyFor(const QString& path, const QByteArray& password)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray salt = file.read(saltBytes);
    if (salt.size() != saltBytes)
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
