// SPDX-License-Identifier: GPL-3.0-or-later
// jack_harness.h - what the live tests need around vorla-live: a JACK server
// of their own (jackd with the dummy driver, under a name no other test
// uses), vorla-live run as a child process, and a player - two JACK clients
// in the test, one feeding audio and MIDI into vorla-live's inputs, one
// recording its outputs, aligned sample by sample.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vorla::test {

/// Milliseconds since an arbitrary start.
int64_t nowMs();

class JackServer
{
public:
    /// A server with the dummy driver at `rate` and `period`; not started.
    JackServer(int period, int rate = 44100);
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    /// Starts jackd and waits (at most 10 s) until a client can connect.
    bool start(std::string& error);
    /// Ends jackd (SIGTERM, then SIGKILL after 3 s).
    void stop();
    bool running() const { return pid > 0; }
    const std::string& name() const { return serverName; }

private:
    int period;
    int rate;
    std::string serverName;
    std::string logPath;
    int pid = -1;
};

/// vorla-live (or any program) as a child process.
class ChildProcess
{
public:
    ~ChildProcess();
    /// Starts `program` with `args`; `environment` entries ("NAME=value")
    /// are added to ours.  Output goes to files in `folder`.
    bool start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment, const std::string& folder);
    /// Waits at most `timeoutMs`; the exit status, -2 when killed by a
    /// signal, or -1 on timeout.
    int wait(int timeoutMs);
    void signal(int number);
    bool running();
    std::string standardError() const;
    std::string standardOutput() const;

private:
    int pid = -1;
    int status = 0;
    std::string outPath, errPath;
};

/// Runs a program to its end; its exit status (-1 on timeout).
int runProgram(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment, const std::string& folder,
               int timeoutMs, std::string* standardError = nullptr);

struct MidiMessage
{
    int64_t frame; // from the first frame played
    std::vector<uint8_t> bytes;
};

class Player
{
public:
    explicit Player(const std::string& serverName);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    bool open(std::string& error);
    /// Connects to the client `live` (its in_1, in_2, midi_in, out_1, out_2).
    bool connectTo(const std::string& live, std::string& error);
    /// Plays `left` and `right` (equal lengths) with `midi`, records as many
    /// frames of both outputs; frame i of the recording is what came out
    /// in the period that took frame i in.  False on timeout.
    bool play(const std::vector<float>& left, const std::vector<float>& right,
              const std::vector<MidiMessage>& midi, std::vector<float>& outLeft,
              std::vector<float>& outRight);
    /// Sends MIDI alone (in the next period) and waits until it went out.
    bool send(const std::vector<MidiMessage>& midi);
    jack_client_t* client() const { return feeder; }

private:
    static int feed(jack_nframes_t frames, void* self);
    static int record(jack_nframes_t frames, void* self);

    std::string server;
    jack_client_t* feeder = nullptr;
    jack_client_t* recorder = nullptr;
    jack_port_t* feedPorts[2] = {};
    jack_port_t* midiPort = nullptr;
    jack_port_t* recordPorts[2] = {};

    // Set up by play() before `armed`; read by the process callbacks.
    const std::vector<float>* inLeft = nullptr;
    const std::vector<float>* inRight = nullptr;
    const std::vector<MidiMessage>* messages = nullptr;
    std::vector<float>* recLeft = nullptr;
    std::vector<float>* recRight = nullptr;
    std::atomic<bool> armed{false};
    std::atomic<int64_t> startFrame{-1};
    std::atomic<int64_t> recorded{0};
    std::atomic<int64_t> fed{0};
};

} // namespace vorla::test
