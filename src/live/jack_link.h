// SPDX-License-Identifier: GPL-3.0-or-later
// jack_link.h - vorla-live's JACK client: the ports, the callbacks and the
// connections.  The process callback hands the block to LiveEngine and does
// nothing else; the other callbacks only set atomics for the control thread.
#pragma once

#include "live/live_engine.h"

#include <jack/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vorla::live {

class JackLink
{
public:
    explicit JackLink(LiveEngine& engine);
    ~JackLink();
    JackLink(const JackLink&) = delete;
    JackLink& operator=(const JackLink&) = delete;

    /// Connects to a running server (never starts one) as `name` and
    /// registers the ports.  False with a one-line reason; `noServer` tells
    /// that no server answered.
    bool open(const std::string& name, std::string& error, bool& noServer);
    /// Starts the callbacks.
    bool activate(std::string& error);
    /// Stops them and leaves the server (harmless when not open).
    void close();

    double sampleRate() const;
    int32_t period() const { return periodFrames.load(std::memory_order_relaxed); }
    /// The full name of our port ("vorla:in_1").
    std::string portName(const char* shortName) const;

    /// Physical capture (true) or playback (false) ports of the server.
    std::vector<std::string> physicalPorts(bool capture) const;
    /// The ports connected to our port `shortName`.
    std::vector<std::string> connections(const char* shortName) const;
    /// Connects `other` to our port (direction from the port kinds); false
    /// with a reason.  An existing connection counts as made.
    bool connect(const std::string& other, const char* shortName, std::string& error);
    /// Removes every connection of our port `shortName`.
    void disconnectAll(const char* shortName);

    /// Latency our processing adds (reported through the ports' latency).
    void setLatency(int32_t frames);

    /// True once the server has gone away (the reason in shutdownReason()).
    bool serverGone() const { return gone.load(std::memory_order_acquire); }
    std::string shutdownReason() const { return reason; }
    /// Xruns the server reported since activation.
    uint32_t xruns() const { return xrunCount.load(std::memory_order_relaxed); }
    /// Whether the period changed since the last call.
    bool takePeriodChange() { return periodChanged.exchange(false); }
    /// Whether the server's rate changed since the last call (PipeWire can
    /// change its graph's rate while clients run; jackd cannot).
    bool takeRateChange() { return rateChanged.exchange(false); }

private:
    static int processEntry(jack_nframes_t frames, void* self);
    static int bufferSizeEntry(jack_nframes_t frames, void* self);
    static int sampleRateEntry(jack_nframes_t rate, void* self);
    static int xrunEntry(void* self);
    static void latencyEntry(jack_latency_callback_mode_t mode, void* self);
    static void shutdownEntry(jack_status_t code, const char* reason, void* self);

    LiveEngine& engine;
    jack_client_t* client = nullptr;
    jack_port_t* inPorts[2] = {};
    jack_port_t* outPorts[2] = {};
    jack_port_t* midiPort = nullptr;
    std::atomic<int32_t> periodFrames{0};
    std::atomic<bool> periodChanged{false};
    std::atomic<uint32_t> rateHz{0};
    std::atomic<bool> rateChanged{false};
    std::atomic<int32_t> latencyFrames{0};
    std::atomic<bool> gone{false};
    std::atomic<uint32_t> xrunCount{0};
    std::string reason;
};

} // namespace vorla::live
