// DelayProxy: one thread polls every socket; data waits in a queue per direction until it is due.
#include "support/DelayProxy.h"

#include <QByteArray>

#include <chrono>
#include <deque>
#include <vector>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

void nonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one); // no delay of the kernel's own
}

struct Piece {
    Clock::time_point due;
    QByteArray bytes;
    qsizetype sent = 0;
};

/// One direction of a relayed connection.
struct Flow {
    int from = -1, to = -1;
    std::deque<Piece> queue;
    bool ended = false; // the sender closed its side
};

} // namespace

struct DelayProxy::Relay {
    Flow up, down; // client → server, server → client
    bool clientSpokeLast = false;
    bool dead = false;
    ~Relay() {
        ::close(up.from);
        ::close(up.to);
    }
};

DelayProxy::DelayProxy(int targetPort, int delayMs) : m_target(targetPort), m_delayMs(delayMs) {}

DelayProxy::~DelayProxy() {
    m_stop = true;
    wake();
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_listen, m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

bool DelayProxy::start(QString& error) {
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(m_listen, 64) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        ::pipe(m_wake) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_port = ntohs(a.sin_port);
    nonBlocking(m_listen);
    ::fcntl(m_wake[0], F_SETFL, O_NONBLOCK);
    m_thread = std::thread([this] { run(); });
    return true;
}

void DelayProxy::setStalled(bool stalled) {
    m_stalled = stalled;
    wake();
}

void DelayProxy::dropAll() {
    m_drop = true;
    wake();
}

void DelayProxy::wake() {
    if (m_wake[1] >= 0) {
        const char c = 0;
        [[maybe_unused]] const auto n = ::write(m_wake[1], &c, 1);
    }
}

void DelayProxy::run() {
    std::vector<std::unique_ptr<Relay>> relays;
    std::vector<char> buffer(256 * 1024);
    while (!m_stop) {
        if (m_drop.exchange(false))
            relays.clear();
        const Clock::time_point now = Clock::now();
        // Send what is due; find when the next piece will be.
        Clock::time_point next = now + std::chrono::seconds(1);
        for (auto& r : relays)
            for (Flow* f : {&r->up, &r->down}) {
                while (!m_stalled && !f->queue.empty() && f->queue.front().due <= now) {
                    Piece& p = f->queue.front();
                    const ssize_t n = ::send(f->to, p.bytes.constData() + p.sent, size_t(p.bytes.size() - p.sent),
                                             MSG_NOSIGNAL);
                    if (n < 0) {
                        if (errno != EAGAIN && errno != EWOULDBLOCK)
                            r->dead = true;
                        break;
                    }
                    p.sent += n;
                    if (p.sent < p.bytes.size())
                        break;
                    f->queue.pop_front();
                }
                if (!m_stalled && !f->queue.empty())
                    next = std::min(next, f->queue.front().due);
                if (f->ended && f->queue.empty())
                    r->dead = true; // one side closed and everything it sent has passed
            }
        std::erase_if(relays, [](const std::unique_ptr<Relay>& r) { return r->dead; });

        std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        for (auto& r : relays)
            for (Flow* f : {&r->up, &r->down}) {
                const bool waiting = !f->queue.empty() && f->queue.front().due <= now && !m_stalled;
                fds.push_back({f->from, short(f->ended ? 0 : POLLIN), 0});
                if (waiting)
                    fds.push_back({f->to, POLLOUT, 0});
            }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        ::poll(fds.data(), nfds_t(fds.size()), int(std::max<long long>(0, wait + 1)));
        if (fds[0].revents & POLLIN)
            while (::read(m_wake[0], buffer.data(), buffer.size()) > 0) {
            }
        if (fds[1].revents & POLLIN) {
            while (true) {
                const int client = ::accept(m_listen, nullptr, nullptr);
                if (client < 0)
                    break;
                const int server = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                a.sin_port = htons(quint16(m_target));
                if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                    ::close(client);
                    if (server >= 0)
                        ::close(server);
                    continue;
                }
                nonBlocking(client);
                nonBlocking(server);
                auto r = std::make_unique<Relay>();
                r->up.from = r->down.to = client;
                r->up.to = r->down.from = server;
                relays.push_back(std::move(r));
                ++m_connections;
            }
        }
        // Read what has come, and hold it for the delay.
        const auto due = Clock::now() + std::chrono::milliseconds(m_delayMs.load());
        for (auto& r : relays)
            for (Flow* f : {&r->up, &r->down}) {
                if (f->ended)
                    continue;
                const ssize_t n = ::recv(f->from, buffer.data(), buffer.size(), 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                    f->ended = true;
                    continue;
                }
                if (n < 0)
                    continue;
                const bool fromClient = f == &r->up;
                if (fromClient && !r->clientSpokeLast)
                    ++m_roundTrips;
                r->clientSpokeLast = fromClient;
                f->queue.push_back({due, QByteArray(buffer.data(), n)});
            }
    }
}

} // namespace testsupport
