#pragma once
// A result as a lab machine sends it to the school server: its id (made on the machine, so that
// a copy sent twice is the same result), the row as stdgrade holds it, and what it was typed
// against and how (the exercise's kind and text and the keystroke log), so that the server can
// replay it too. Kept in the store's outbox as the bytes encode() gives until the server has it.

#include "store/store_types.h"

#include <QByteArray>
#include <QString>
#include <optional>

struct ServerResult {
    QString id; // a UUID, as text
    GradeRow row;
    ExerciseKind kind = ExerciseKind::English;
    QByteArray text; // the exercise file's text, after its header
    QByteArray log;  // the encoded keystroke log

    QByteArray encode() const;
    // Nothing for bytes that are not one (of this or an earlier form).
    static std::optional<ServerResult> decode(const QByteArray& bytes);
    bool operator==(const ServerResult&) const;
};
