#pragma once
// The connection to the MQTT broker, on a thread of its own: connecting,
// reconnecting after a growing pause (1 s doubling up to 30 s) and all of
// libmosquitto's network traffic happen there, so the program's thread never
// waits for the broker. The thread ends and is joined with its link. The program hands messages over and collects what
// happened (acknowledgements, connections, failures) when told to.

#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kestro {

class MqttLink {
public:
    struct Settings {
        QByteArray host;
        int port = 1883;
        QByteArray user;  // empty: none
        QByteArray password;
        QByteArray clientId;
        // Retained "online" after every connection; "offline" at the end and as the last will.
        QByteArray statusTopic;
        int keepAliveS = 30;
        int firstRetryMs = 1000;
        int maxRetryMs = 30000;
    };

    // What happened since the last take.
    struct Events {
        std::vector<uint64_t> acknowledged;  // tags of interval messages the broker has
        int connections = 0;                 // connections made
        std::vector<std::string> failures;   // why a connection failed or was lost
    };

    // notify runs on the link's thread whenever there are events to take.
    MqttLink(Settings settings, std::function<void()> notify);
    ~MqttLink();
    MqttLink(const MqttLink&) = delete;
    MqttLink& operator=(const MqttLink&) = delete;

    void start();
    bool connected() const;
    // Counts connections: interval messages handed over during one are
    // dropped by the link when it has been replaced by the next.
    uint64_t generation() const;
    // QoS 0. False (dropped) while there is no connection or too much waits.
    bool publishLevel(const QByteArray& topic, const QByteArray& payload);
    // QoS 1; its tag comes back in Events::acknowledged. Only for the
    // generation given; the caller sends it again after a reconnect.
    void publishInterval(uint64_t tag, uint64_t generation, const QByteArray& topic, const QByteArray& payload,
                         bool retain = false);
    Events takeEvents();
    // Asks the thread to end within graceMs: the interval messages handed over
    // so far, then "offline", then the disconnection. Does not wait.
    void requestStop(int graceMs);
    // The thread has ended (joining it takes no time).
    bool finished() const;
    // requestStop, then waits for the thread to end: graceMs and a loop pass,
    // or as long as a name lookup of the broker still takes.
    void stop(int waitMs);
    uint64_t droppedLevels() const;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    bool started_ = false;
    bool stopRequested_ = false;
    bool stopped_ = false;
};

}  // namespace kestro
