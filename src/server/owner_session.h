#pragma once
// SQL as the cluster's owner over the local socket, where peer authentication lets the owner's
// operating-system user in. Run as root, the work is done in a child process that has dropped to
// the owner's uid and gid; run as the owner itself, in this process. Whoever else runs the tool
// is refused before anything is done.

#include "platform/postgres.h"
#include "server/server_config.h"
#include "server/server_files.h"

#include <QJsonObject>
#include <functional>

class OwnerSession {
public:
    // Throws std::runtime_error when the owner is unknown, or when the caller is neither root
    // nor the owner.
    explicit OwnerSession(const ServerConfig& config);

    bool asRoot() const { return asRoot_; }
    // The owner's uid and gid, for the files the cluster must read (its key).
    ServerFiles::Owner clusterOwner() const { return {uid_, gid_}; }
    const ServerConfig& config() const { return config_; }

    // Runs work as the owner and gives back what it returned; a failure inside is thrown here
    // as std::runtime_error with its message.
    QJsonObject run(const std::function<QJsonObject(const OwnerSession&)>& work) const;
    // A connection to database as the owner; only inside run(). Says what to do when the
    // cluster does not answer.
    Pg::Connection connect(const QString& database) const;

private:
    ServerConfig config_;
    bool asRoot_ = false;
    uid_t uid_ = uid_t(-1);
    gid_t gid_ = gid_t(-1);
};
