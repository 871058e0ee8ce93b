// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/jack_link.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vorla::live {

namespace {

// libjack speaks through these; its own lines would bury ours.
void quietJack(const char*) {}

const char* const kPortNames[] = {"in_1", "in_2", "out_1", "out_2", "midi_in"};

} // namespace

JackLink::JackLink(LiveEngine& liveEngine) : engine(liveEngine) {}

JackLink::~JackLink()
{
    close();
}

bool JackLink::open(const std::string& name, std::string& error, bool& noServer)
{
    noServer = false;
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
    jack_status_t status{};
    client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    // A server that is there but did not answer in time (busy starting, or a
    // loaded machine) gets two more tries; one that is not there fails at once.
    for (int retry = 0; retry < 2 && client == nullptr && (status & JackServerError) &&
                        !(status & JackServerFailed);
         ++retry)
    {
        const timespec pause{0, 300 * 1000 * 1000};
        nanosleep(&pause, nullptr);
        client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    }
    if (client == nullptr)
    {
        const char* server = std::getenv("JACK_DEFAULT_SERVER");
        std::string which = "default";
        if (server != nullptr && server[0] != '\0')
            which.assign(server).insert(0, 1, '\'').push_back('\'');
        if (status & JackServerFailed)
        {
            noServer = true;
            error = "no JACK server is running (" + which +
                    " server): start one first - PipeWire's JACK (pipewire-jack), jackd "
                    "('jackd -d alsa') or QjackCtl - then start vorla-live again";
        }
        else if (status & JackNameNotUnique)
            error = "a JACK client named '" + name + "' exists already; choose another with --name";
        else
            error = "the JACK server refused the connection (status " +
                    std::to_string(int(status)) + ")";
        return false;
    }
    if (status & JackNameNotUnique)
    {
        error = "a JACK client named '" + name + "' exists already; choose another with --name";
        close();
        return false;
    }
    for (int i = 0; i < 2; ++i)
    {
        inPorts[i] =
            jack_port_register(client, kPortNames[i], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        outPorts[i] = jack_port_register(client, kPortNames[2 + i], JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsOutput, 0);
    }
    midiPort =
        jack_port_register(client, kPortNames[4], JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!inPorts[0] || !inPorts[1] || !outPorts[0] || !outPorts[1] || !midiPort)
    {
        error = "the JACK server refused to register vorla-live's ports";
        close();
        return false;
    }
    periodFrames.store(static_cast<int32_t>(jack_get_buffer_size(client)));
    rateHz.store(jack_get_sample_rate(client));
    jack_set_process_callback(client, &JackLink::processEntry, this);
    jack_set_buffer_size_callback(client, &JackLink::bufferSizeEntry, this);
    jack_set_sample_rate_callback(client, &JackLink::sampleRateEntry, this);
    jack_set_xrun_callback(client, &JackLink::xrunEntry, this);
    jack_set_latency_callback(client,
                              reinterpret_cast<JackLatencyCallback>(&JackLink::latencyEntry), this);
    jack_on_info_shutdown(
        client, reinterpret_cast<JackInfoShutdownCallback>(&JackLink::shutdownEntry), this);
    return true;
}

bool JackLink::activate(std::string& error)
{
    if (jack_activate(client) != 0)
    {
        error = "the JACK server would not start vorla-live's processing";
        return false;
    }
    return true;
}

void JackLink::close()
{
    if (client == nullptr)
        return;
    if (!gone.load())
    {
        jack_deactivate(client);
        jack_client_close(client);
    }
    // After a shutdown the client is dead; libjack releases what it can at exit.
    client = nullptr;
}

double JackLink::sampleRate() const
{
    return double(rateHz.load());
}

std::string JackLink::portName(const char* shortName) const
{
    return client != nullptr ? std::string(jack_get_client_name(client)) + ":" + shortName : "";
}

std::vector<std::string> JackLink::physicalPorts(bool capture) const
{
    std::vector<std::string> names;
    if (client == nullptr || gone.load())
        return names;
    // Capture ports are outputs of the hardware client, playback ports inputs.
    const char** ports =
        jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                       JackPortIsPhysical | (capture ? JackPortIsOutput : JackPortIsInput));
    for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i)
        names.emplace_back(ports[i]);
    jack_free(ports);
    return names;
}

std::vector<std::string> JackLink::connections(const char* shortName) const
{
    std::vector<std::string> names;
    if (client == nullptr || gone.load())
        return names;
    jack_port_t* port = jack_port_by_name(client, portName(shortName).c_str());
    const char** ports = port != nullptr ? jack_port_get_connections(port) : nullptr;
    for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i)
        names.emplace_back(ports[i]);
    jack_free(ports);
    return names;
}

bool JackLink::connect(const std::string& other, const char* shortName, std::string& error)
{
    if (client == nullptr || gone.load())
        return false;
    jack_port_t* theirs = jack_port_by_name(client, other.c_str());
    if (theirs == nullptr)
    {
        error = "there is no JACK port '" + other + "' (jack_lsp lists them)";
        return false;
    }
    const std::string ours = portName(shortName);
    const bool outgoing = (jack_port_flags(theirs) & JackPortIsInput) != 0;
    const int result = outgoing ? jack_connect(client, ours.c_str(), other.c_str())
                                : jack_connect(client, other.c_str(), ours.c_str());
    if (result != 0 && result != EEXIST)
    {
        error = "cannot connect '" + other + "' to '" + ours + "'";
        return false;
    }
    return true;
}

void JackLink::disconnectAll(const char* shortName)
{
    if (client == nullptr || gone.load())
        return;
    if (jack_port_t* port = jack_port_by_name(client, portName(shortName).c_str()))
        jack_port_disconnect(client, port);
}

void JackLink::setLatency(int32_t frames)
{
    if (latencyFrames.exchange(frames) != frames && client != nullptr && !gone.load())
        jack_recompute_total_latencies(client);
}

int JackLink::processEntry(jack_nframes_t frames, void* self)
{
    auto& link = *static_cast<JackLink*>(self);
    void* midi = jack_port_get_buffer(link.midiPort, frames);
    const uint32_t events = jack_midi_get_event_count(midi);
    for (uint32_t i = 0; i < events; ++i)
    {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, midi, i) == 0)
            link.engine.midi(event.buffer, event.size);
    }
    const auto* in1 = static_cast<const float*>(jack_port_get_buffer(link.inPorts[0], frames));
    const auto* in2 = static_cast<const float*>(jack_port_get_buffer(link.inPorts[1], frames));
    auto* out1 = static_cast<float*>(jack_port_get_buffer(link.outPorts[0], frames));
    auto* out2 = static_cast<float*>(jack_port_get_buffer(link.outPorts[1], frames));
    link.engine.process(in1, in2, out1, out2, static_cast<int32_t>(frames));
    return 0;
}

int JackLink::bufferSizeEntry(jack_nframes_t frames, void* self)
{
    auto& link = *static_cast<JackLink*>(self);
    if (link.periodFrames.exchange(static_cast<int32_t>(frames)) != static_cast<int32_t>(frames))
        link.periodChanged.store(true);
    return 0;
}

int JackLink::sampleRateEntry(jack_nframes_t rate, void* self)
{
    auto& link = *static_cast<JackLink*>(self);
    if (rate > 0 && link.rateHz.exchange(rate) != rate)
        link.rateChanged.store(true);
    return 0;
}

int JackLink::xrunEntry(void* self)
{
    static_cast<JackLink*>(self)->xrunCount.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void JackLink::latencyEntry(jack_latency_callback_mode_t mode, void* self)
{
    // What passes through us arrives `latency` frames later: outputs report
    // the inputs' capture latency plus ours, inputs the outputs' playback
    // latency plus ours.
    auto& link = *static_cast<JackLink*>(self);
    const auto extra = static_cast<jack_nframes_t>(link.latencyFrames.load());
    jack_latency_range_t range{};
    if (mode == JackCaptureLatency)
    {
        jack_port_get_latency_range(link.inPorts[0], JackCaptureLatency, &range);
        range.min += extra;
        range.max += extra;
        for (jack_port_t* port : link.outPorts)
            jack_port_set_latency_range(port, JackCaptureLatency, &range);
    }
    else
    {
        jack_port_get_latency_range(link.outPorts[0], JackPlaybackLatency, &range);
        range.min += extra;
        range.max += extra;
        for (jack_port_t* port : link.inPorts)
            jack_port_set_latency_range(port, JackPlaybackLatency, &range);
    }
}

void JackLink::shutdownEntry(jack_status_t, const char* why, void* self)
{
    auto& link = *static_cast<JackLink*>(self);
    link.reason = why != nullptr ? why : "";
    link.gone.store(true, std::memory_order_release);
}

} // namespace vorla::live
