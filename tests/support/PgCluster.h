// PgCluster: a private PostgreSQL server for the tests, and fixture databases put on it.
#pragma once

#include <QString>

#include <memory>

namespace testsupport {

/// A server of the tests' own: a cluster made by initdb in a temporary folder (owned by the
/// postgres user when the tests run as root), listening on a free loopback port and on a socket in
/// that folder, signing in with a password. It stops, and its folder goes, with the test process.
class PgCluster {
public:
    /// The process's server, started on first use; null when it cannot start (reason() says why).
    static PgCluster* shared();
    static QString reason();

    ~PgCluster();
    int port() const { return m_port; }
    QString user() const { return QStringLiteral("dbtext"); }
    QString password() const { return m_password; }
    /// Makes an empty database of that name.
    bool createDatabase(const QString& name, QString& error);
    /// Runs a statement as the server's superuser in a database; the first value of its result.
    bool execute(const QString& database, const QString& sql, QString& error, QString* value = nullptr);
    /// The data-link text that names a database on this server (through another port, a relay's,
    /// when one is given).
    QString initString(const QString& database, int port = 0) const;
    /// The server's main process (signals to it stop or resume the whole server).
    qint64 serverPid() const;
    /// Stops the server and starts it again (a dropped connection for the clients).
    bool restart(QString& error);

private:
    PgCluster() = default;
    bool start(QString& error);
    bool launch(QString& error);

    QString m_dir, m_bin, m_password;
    int m_port = 0;
    uint m_uid = 0, m_gid = 0;
    struct Server;
    std::unique_ptr<Server> m_server;
};

/// Writes a data-link file as the platform writes it: UTF-16LE with BOM, "[oledb]", a comment line,
/// then the initialisation string, CR LF line ends. Gives the path.
QString writeUdl(const QString& path, const QString& initString);

/// Whether the tests run against the server: DBTEXT_TEST_BACKEND=postgres.
bool onServer();

/// The content of the document database file at path, put in a new database on the test server;
/// gives the path of a data link (next to the file) that opens it (through another port, a relay's,
/// when one is given). Fails the current test on error.
QString serverCopy(const QString& path, int port = 0);

} // namespace testsupport
