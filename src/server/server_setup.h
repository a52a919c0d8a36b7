#pragma once
// `typelab-server setup` and `migrate`: the database, its roles and schema, the school's CA, the
// server's certificate, TLS and pg_hba.conf. Every step looks first and changes only what
// differs, so a second setup changes nothing, and one after a package upgrade applies the new
// migrations alone.

#include "server/server_config.h"

#include <QTextStream>

namespace ServerSetup {

// Throws std::runtime_error with what failed and what to do.
void setup(ServerConfig config, QTextStream& out);
// Applies the migrations not yet applied; says so and does nothing where setup never ran.
void migrate(const QString& stateDir, QTextStream& out);

// The group roles every typelab database has.
inline const char* const kGroupRoles[] = {"typelab_owner", "typelab_machine", "typelab_teacher", "typelab_verify"};

} // namespace ServerSetup
