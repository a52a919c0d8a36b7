#pragma once
// `typelab-server verify`: the verifier of the server that setup made in a state folder, in the
// foreground. Run as root it becomes the system user typelab-verify first, the one peer
// authentication lets in as the role typelab_verify; run as anyone else it connects as itself.

#include "server/verifier.h"

#include <QString>
#include <QTextStream>

namespace VerifyCommand {

// Runs until the process is stopped (with once: until the queue is empty); gives the exit
// code. Throws std::runtime_error when it cannot start.
int run(const QString& stateDir, Verifier::Options options, QTextStream& log);

// What the verifier connects with: the socket of the server that setup made.
Pg::ConnectionParameters parameters(const QString& socketDir, int port);

} // namespace VerifyCommand
