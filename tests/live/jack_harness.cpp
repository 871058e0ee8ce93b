// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/jack_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace vorla::test {

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void quiet(const char*) {}

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

/// fork + exec with output to files; the child's pid or -1.
int spawn(const std::string& program, const std::vector<std::string>& args,
          const std::vector<std::string>& environment, const std::string& outPath,
          const std::string& errPath)
{
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    // The child.
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    setpgid(0, 0);
    for (const std::string& entry : environment)
        putenv(strdup(entry.c_str()));
    execvp(program.c_str(), pointers.data());
    _exit(127);
}

int waitFor(int pid, int timeoutMs, int& status)
{
    const int64_t end = nowMs() + timeoutMs;
    while (true)
    {
        int raw = 0;
        const pid_t done = waitpid(pid, &raw, WNOHANG);
        if (done == pid)
        {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -2;
            return status;
        }
        if (nowMs() >= end)
            return -1;
        sleepMs(10);
    }
}

} // namespace

// --- JackServer ------------------------------------------------------------------

JackServer::JackServer(int p, int r) : period(p), rate(r)
{
    static std::atomic<int> count{0};
    serverName = "vorla-test-" + std::to_string(getpid()) + "-" + std::to_string(count++);
    logPath = "/tmp/" + serverName + ".log";
}

JackServer::~JackServer()
{
    stop();
    std::remove(logPath.c_str());
}

bool JackServer::start(std::string& error)
{
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    // -r: no realtime scheduling (a test machine or container may not grant it).
    pid = spawn("jackd",
                {"-n", serverName, "-r", "-S", "-t", "2000", "-d", "dummy", "-r",
                 std::to_string(rate), "-p", std::to_string(period), "-C", "2", "-P", "2"},
                {}, logPath, logPath);
    if (pid <= 0)
    {
        error = "cannot start jackd";
        return false;
    }
    const int64_t end = nowMs() + 10000;
    while (nowMs() < end)
    {
        int status = 0;
        if (waitFor(pid, 0, status) != -1)
        {
            pid = -1;
            error = "jackd ended at once: " + slurp(logPath);
            return false;
        }
        jack_status_t jackStatus{};
        jack_client_t* probe =
            jack_client_open("vorla-test-probe", JackOptions(JackNoStartServer | JackServerName),
                             &jackStatus, serverName.c_str());
        if (probe != nullptr)
        {
            jack_client_close(probe);
            return true;
        }
        sleepMs(50);
    }
    error = "jackd did not answer within 10 s: " + slurp(logPath);
    stop();
    return false;
}

void JackServer::stop()
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    if (waitFor(pid, 3000, status) == -1)
    {
        kill(pid, SIGKILL);
        waitFor(pid, 3000, status);
    }
    pid = -1;
}

// --- ChildProcess -------------------------------------------------------------------

ChildProcess::~ChildProcess()
{
    if (pid > 0 && running())
    {
        kill(pid, SIGKILL);
        wait(3000);
    }
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, const std::string& folder)
{
    static std::atomic<int> count{0};
    const std::string stem = folder + "/child-" + std::to_string(count++);
    outPath = stem + ".out";
    errPath = stem + ".err";
    pid = spawn(program, args, environment, outPath, errPath);
    return pid > 0;
}

int ChildProcess::wait(int timeoutMs)
{
    if (pid <= 0)
        return status;
    const int result = waitFor(pid, timeoutMs, status);
    if (result != -1)
        pid = -1;
    return result;
}

void ChildProcess::signal(int number)
{
    if (pid > 0)
        kill(pid, number);
}

bool ChildProcess::running()
{
    if (pid <= 0)
        return false;
    int raw = 0;
    if (waitpid(pid, &raw, WNOHANG) == pid)
    {
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -2;
        pid = -1;
        return false;
    }
    return true;
}

std::string ChildProcess::standardError() const
{
    return slurp(errPath);
}

std::string ChildProcess::standardOutput() const
{
    return slurp(outPath);
}

int runProgram(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment, const std::string& folder,
               int timeoutMs, std::string* standardError)
{
    ChildProcess child;
    if (!child.start(program, args, environment, folder))
        return -1;
    const int status = child.wait(timeoutMs);
    if (standardError != nullptr)
        *standardError = child.standardError();
    return status;
}

// --- Player -------------------------------------------------------------------------

Player::Player(const std::string& serverName) : server(serverName) {}

Player::~Player()
{
    for (jack_client_t* c : {feeder, recorder})
        if (c != nullptr)
        {
            jack_deactivate(c);
            jack_client_close(c);
        }
}

bool Player::open(std::string& error)
{
    const auto options = JackOptions(JackNoStartServer | JackServerName);
    feeder = jack_client_open("vt-feed", options, nullptr, server.c_str());
    recorder = jack_client_open("vt-record", options, nullptr, server.c_str());
    if (feeder == nullptr || recorder == nullptr)
    {
        error = "the test clients cannot connect to " + server;
        return false;
    }
    feedPorts[0] =
        jack_port_register(feeder, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    feedPorts[1] =
        jack_port_register(feeder, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    midiPort = jack_port_register(feeder, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    recordPorts[0] =
        jack_port_register(recorder, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    recordPorts[1] =
        jack_port_register(recorder, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(feeder, &Player::feed, this);
    jack_set_process_callback(recorder, &Player::record, this);
    if (jack_activate(feeder) != 0 || jack_activate(recorder) != 0)
    {
        error = "the test clients cannot start";
        return false;
    }
    return true;
}

bool Player::connectTo(const std::string& live, std::string& error)
{
    const std::pair<std::string, std::string> links[] = {{"vt-feed:out_1", live + ":in_1"},
                                                         {"vt-feed:out_2", live + ":in_2"},
                                                         {"vt-feed:midi_out", live + ":midi_in"},
                                                         {live + ":out_1", "vt-record:in_1"},
                                                         {live + ":out_2", "vt-record:in_2"}};
    for (const auto& [from, to] : links)
        if (jack_connect(feeder, from.c_str(), to.c_str()) != 0)
        {
            error = "cannot connect " + from + " to " + to;
            return false;
        }
    sleepMs(100);
    return true;
}

bool Player::play(const std::vector<float>& left, const std::vector<float>& right,
                  const std::vector<MidiMessage>& midi, std::vector<float>& outLeft,
                  std::vector<float>& outRight)
{
    outLeft.assign(left.size(), 0.0f);
    outRight.assign(left.size(), 0.0f);
    inLeft = &left;
    inRight = &right;
    messages = &midi;
    recLeft = &outLeft;
    recRight = &outRight;
    recorded.store(0);
    fed.store(0);
    startFrame.store(-1);
    armed.store(true, std::memory_order_release);
    const int64_t seconds = int64_t(left.size()) / 44100 + 5;
    const int64_t end = nowMs() + seconds * 1000 * 3;
    while (recorded.load() < int64_t(left.size()) && nowMs() < end)
        sleepMs(10);
    armed.store(false);
    sleepMs(20);
    return recorded.load() >= int64_t(left.size());
}

bool Player::send(const std::vector<MidiMessage>& midi)
{
    std::vector<float> silence(512, 0.0f), a, b;
    return play(silence, silence, midi, a, b);
}

int Player::feed(jack_nframes_t frames, void* self)
{
    auto& p = *static_cast<Player*>(self);
    auto* left = static_cast<float*>(jack_port_get_buffer(p.feedPorts[0], frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(p.feedPorts[1], frames));
    void* midi = jack_port_get_buffer(p.midiPort, frames);
    jack_midi_clear_buffer(midi);
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    if (!p.armed.load(std::memory_order_acquire))
        return 0;
    int64_t start = p.startFrame.load();
    const int64_t now = jack_last_frame_time(p.feeder);
    if (start < 0)
    {
        start = now;
        p.startFrame.store(start);
    }
    const int64_t offset = now - start;
    const int64_t total = int64_t(p.inLeft->size());
    for (jack_nframes_t i = 0; i < frames && offset + i < total; ++i)
    {
        left[i] = (*p.inLeft)[size_t(offset + i)];
        right[i] = (*p.inRight)[size_t(offset + i)];
    }
    for (const MidiMessage& message : *p.messages)
        if (message.frame >= offset && message.frame < offset + frames)
            jack_midi_event_write(midi, jack_nframes_t(message.frame - offset),
                                  message.bytes.data(), message.bytes.size());
    p.fed.store(offset + frames);
    return 0;
}

int Player::record(jack_nframes_t frames, void* self)
{
    auto& p = *static_cast<Player*>(self);
    if (!p.armed.load(std::memory_order_acquire))
        return 0;
    const int64_t start = p.startFrame.load();
    if (start < 0)
        return 0;
    const int64_t offset = int64_t(jack_last_frame_time(p.recorder)) - start;
    if (offset < 0)
        return 0;
    const auto* left = static_cast<const float*>(jack_port_get_buffer(p.recordPorts[0], frames));
    const auto* right = static_cast<const float*>(jack_port_get_buffer(p.recordPorts[1], frames));
    const int64_t total = int64_t(p.recLeft->size());
    int64_t done = p.recorded.load();
    for (jack_nframes_t i = 0; i < frames && offset + i < total; ++i)
    {
        (*p.recLeft)[size_t(offset + i)] = left[i];
        (*p.recRight)[size_t(offset + i)] = right[i];
        done = offset + i + 1;
    }
    p.recorded.store(done);
    return 0;
}

} // namespace vorla::test
