// DelayProxy: a TCP relay that gives a loopback server the latency of a real network.
#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

namespace testsupport {

/// Listens on a free loopback port and relays every connection to a target port on the loopback,
/// holding each piece of data the given time in each direction before it passes on (2 ms each way is
/// a LAN, 20 ms a WAN or a VPN). It counts the round trips that pass: a round trip is every time the
/// client speaks after the server has (or first), however many pieces either sends. It can also hold
/// everything (a server or a network that stops answering) and cut every connection.
class DelayProxy {
public:
    DelayProxy(int targetPort, int delayMs);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    /// Starts listening; false with the reason when it cannot.
    bool start(QString& error);
    int port() const { return m_port; }
    void setDelay(int ms) { m_delayMs = ms; }
    int delay() const { return m_delayMs; }
    /// While stalled nothing passes in either direction (new connections are still taken and held).
    void setStalled(bool stalled);
    /// Closes every relayed connection at once.
    void dropAll();
    qint64 roundTrips() const { return m_roundTrips; }
    qint64 connections() const { return m_connections; }

private:
    struct Relay;
    void run();
    void wake();

    int m_target;
    std::atomic_int m_delayMs;
    int m_port = 0;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::atomic_bool m_stalled{false}, m_drop{false}, m_stop{false};
    std::atomic<qint64> m_roundTrips{0}, m_connections{0};
    std::thread m_thread;
};

} // namespace testsupport
