#pragma once
// Making a running cluster take up new settings: a reload that is waited for, and a restart
// only when a setting asks for one.

#include "server/owner_session.h"

#include <QStringList>

namespace ClusterControl {

// Checks pg_hba.conf and the settings files as the cluster reads them, reloads, and returns once
// new connections see the reloaded configuration. Throws with the cluster's complaint when a
// file has an error: before reloading where it can tell, else after.
void reload(const OwnerSession& session);
// The settings that wait for a restart.
QStringList pendingRestart(const OwnerSession& session);
// Restarts the cluster: pg_ctlcluster for a Debian cluster (its configuration under
// /etc/postgresql), pg_ctl otherwise; returns once it accepts connections again.
void restart(const OwnerSession& session, const QString& configFile, const QString& dataDirectory, int version);

} // namespace ClusterControl
