#include "exercise/keystroke_log.h"

#include <QtEndian>

namespace KeystrokeLogs {

namespace {

// Format: "TKL1", then per event: milliseconds (4 bytes), kind (1 byte), value (2 bytes),
// little-endian.
constexpr char kMagic[4] = {'T', 'K', 'L', '1'};
constexpr int kEventBytes = 7;

bool knownKind(quint8 kind)
{
    return kind >= quint8(KeystrokeEvent::Kind::KeyDown) && kind <= quint8(KeystrokeEvent::Kind::Tick);
}

} // namespace

QByteArray encode(const KeystrokeLog& log)
{
    QByteArray bytes(sizeof kMagic + qsizetype(log.size()) * kEventBytes, Qt::Uninitialized);
    char* out = bytes.data();
    std::copy(std::begin(kMagic), std::end(kMagic), out);
    out += sizeof kMagic;
    for (const KeystrokeEvent& event : log) {
        qToLittleEndian<quint32>(event.milliseconds, out);
        out[4] = char(event.kind);
        qToLittleEndian<qint16>(event.value, out + 5);
        out += kEventBytes;
    }
    return bytes;
}

std::optional<KeystrokeLog> decode(const QByteArray& bytes)
{
    if (bytes.size() < qsizetype(sizeof kMagic) || !bytes.startsWith(QByteArray(kMagic, sizeof kMagic)))
        return std::nullopt;
    const qsizetype body = bytes.size() - qsizetype(sizeof kMagic);
    if (body % kEventBytes != 0 || body / kEventBytes > kMaxEvents)
        return std::nullopt;
    KeystrokeLog log;
    log.reserve(body / kEventBytes);
    const char* in = bytes.constData() + sizeof kMagic;
    for (qsizetype i = 0; i < body / kEventBytes; ++i, in += kEventBytes) {
        const quint8 kind = quint8(in[4]);
        if (!knownKind(kind))
            return std::nullopt;
        log.append({qFromLittleEndian<quint32>(in), KeystrokeEvent::Kind(kind), qFromLittleEndian<qint16>(in + 5)});
    }
    return log;
}

} // namespace KeystrokeLogs
