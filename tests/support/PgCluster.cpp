// PgCluster: initdb, the server as a child of the test process, and copies of fixture files.
#include "support/PgCluster.h"


#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <libpq-fe.h>

#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

/// The folder of the server programs: on PATH, else the newest Debian install.
QString serverBin() {
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    if (!onPath.isEmpty())
        return QFileInfo(onPath).canonicalPath();
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList names = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    for (auto it = names.crbegin(); it != names.crend(); ++it)
        if (QFileInfo::exists(versions.filePath(*it + QStringLiteral("/bin/initdb"))))
            return versions.filePath(*it + QStringLiteral("/bin"));
    return {};
}

int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// Runs the server's programs as the given user (root may not run them), tied to this process.
void asUser(QProcess& p, uint uid, uint gid) {
    p.setChildProcessModifier([uid, gid] {
        if (uid != 0 && ::getuid() == 0) {
            ::setgroups(0, nullptr);
            if (::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
        }
        ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
    });
}

QString g_reason;
std::unique_ptr<PgCluster> g_cluster;
bool g_tried = false;

} // namespace

struct PgCluster::Server {
    QProcess process;
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/dbtext-pg-XXXXXX")};
};

PgCluster* PgCluster::shared() {
    if (!g_tried) {
        g_tried = true;
        std::unique_ptr<PgCluster> c(new PgCluster());
        if (c->start(g_reason))
            g_cluster = std::move(c);
    }
    return g_cluster.get();
}

QString PgCluster::reason() {
    return g_reason;
}

bool PgCluster::start(QString& error) {
    m_bin = serverBin();
    if (m_bin.isEmpty()) {
        error = QStringLiteral("no PostgreSQL server programs (initdb) on this machine");
        return false;
    }
    m_server = std::make_unique<Server>();
    if (!m_server->dir.isValid()) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    m_dir = m_server->dir.path();
    if (::getuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw) {
            error = QStringLiteral("running as root, and there is no postgres user to run the server");
            return false;
        }
        m_uid = pw->pw_uid;
        m_gid = pw->pw_gid;
        if (::chown(QFile::encodeName(m_dir).constData(), m_uid, m_gid) != 0) {
            error = QStringLiteral("cannot give the server's folder to the postgres user");
            return false;
        }
    }
    m_password = QStringLiteral("pw-%1").arg(QRandomGenerator::global()->generate64(), 0, 16);
    const QString pwFile = m_dir + QStringLiteral("/pw");
    writeBytes(pwFile, m_password.toUtf8());
    if (m_uid && ::chown(QFile::encodeName(pwFile).constData(), m_uid, m_gid) != 0)
        return false;
    QProcess init;
    asUser(init, m_uid, m_gid);
    init.start(m_bin + QStringLiteral("/initdb"),
               {QStringLiteral("-D"), m_dir + QStringLiteral("/data"), QStringLiteral("-U"), user(),
                QStringLiteral("--pwfile=") + pwFile, QStringLiteral("-E"), QStringLiteral("UTF8"),
                QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--auth=scram-sha-256"), QStringLiteral("-N")});
    if (!init.waitForFinished(120000) || init.exitCode() != 0) {
        error = QStringLiteral("initdb failed: ") + QString::fromLocal8Bit(init.readAllStandardError());
        return false;
    }
    m_port = freePort();
    return launch(error);
}

bool PgCluster::launch(QString& error) {
    QProcess& p = m_server->process;
    asUser(p, m_uid, m_gid);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardOutputFile(m_dir + QStringLiteral("/server.log"), QIODevice::Append);
    p.start(m_bin + QStringLiteral("/postgres"),
            {QStringLiteral("-D"), m_dir + QStringLiteral("/data"), QStringLiteral("-p"), QString::number(m_port),
             QStringLiteral("-k"), m_dir, QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-c"),
             QStringLiteral("fsync=off"), QStringLiteral("-c"), QStringLiteral("full_page_writes=off")});
    if (!p.waitForStarted(10000)) {
        error = QStringLiteral("the server did not start");
        return false;
    }
    const QByteArray info =
        QStringLiteral("host=127.0.0.1 port=%1 dbname=postgres connect_timeout=2").arg(m_port).toUtf8();
    for (int i = 0; i < 300; ++i) {
        if (PQping(info.constData()) == PQPING_OK)
            return true;
        if (p.state() == QProcess::NotRunning)
            break;
        QThread::msleep(100);
    }
    error = QStringLiteral("the server did not answer: ") +
            QString::fromLocal8Bit(readBytes(m_dir + QStringLiteral("/server.log")).right(2000));
    return false;
}

PgCluster::~PgCluster() {
    if (m_server && m_server->process.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_server->process.processId()), SIGQUIT); // stop at once: nothing here is kept
        m_server->process.waitForFinished(10000);
    }
}

qint64 PgCluster::serverPid() const {
    return m_server->process.processId();
}

bool PgCluster::restart(QString& error) {
    QProcess& p = m_server->process;
    ::kill(pid_t(p.processId()), SIGQUIT);
    p.waitForFinished(10000);
    return launch(error);
}

QString PgCluster::initString(const QString& database, int port) const {
    return QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1:%1;Initial Catalog=%2;User ID=%3;Password=%4")
        .arg(port > 0 ? port : m_port)
        .arg(database, user(), m_password);
}

QString writeUdl(const QString& path, const QString& initString) {
    const QString text = QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n") +
                         initString + QStringLiteral("\r\n");
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    writeBytes(path, bytes);
    return path;
}

bool PgCluster::createDatabase(const QString& name, QString& error) {
    return execute(QStringLiteral("postgres"),
                   QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE template0 ENCODING 'UTF8'").arg(name), error);
}

bool PgCluster::execute(const QString& database, const QString& sql, QString& error, QString* value) {
    const QByteArray info = QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=%3 password=%4")
                                .arg(m_port)
                                .arg(database, user(), m_password)
                                .toUtf8();
    PGconn* c = PQconnectdb(info.constData());
    bool ok = PQstatus(c) == CONNECTION_OK;
    if (ok) {
        PGresult* r = PQexec(c, sql.toUtf8().constData());
        ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        if (ok && value)
            *value = PQntuples(r) > 0 ? QString::fromUtf8(PQgetvalue(r, 0, 0)) : QString();
        PQclear(r);
    }
    if (!ok)
        error = QString::fromUtf8(PQerrorMessage(c));
    PQfinish(c);
    return ok;
}

} // namespace testsupport
