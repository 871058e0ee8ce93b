// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/live_app.h"

#include "cli/user_folders.h"
#include "effect/parameters.h"
#include "live/live_window.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

namespace vorla::live {

namespace {

std::atomic<int> gStopSignal{0};

extern "C" void onStopSignal(int signal)
{
    gStopSignal.store(signal, std::memory_order_relaxed);
}

void say(const std::string& line)
{
    std::fflush(stdout);
    std::fprintf(stderr, "vorla-live: %s\n", line.c_str());
}

/// The amplifier's parameter names, in index order.
std::vector<std::string> parameterNames()
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < kNumParams; ++i)
    {
        char text[kParameterNameSize] = {};
        EffectState::parameterName(i, text, sizeof text);
        names.emplace_back(text);
    }
    return names;
}

double nowSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

float toDb(float linear)
{
    return linear > 1e-6f ? 20.0f * std::log10(linear) : -120.0f;
}

} // namespace

LiveApp::LiveApp(LiveOptions liveOptions) : options(std::move(liveOptions)) {}

LiveApp::~LiveApp()
{
    if (jack)
        jack->close();
    window.reset();
    rig.cabinet().reset();
}

void LiveApp::restoreSettings()
{
    firstStart = true;
    if (options.fresh)
        return;
    std::string error;
    switch (readSettings(settingsPath(cli::configFolder()), saved, error))
    {
    case SettingsRead::Missing: return;
    case SettingsRead::Corrupt:
        say(error);
        saved = LiveSettings();
        return;
    case SettingsRead::Read: break;
    }
    if (!saved.bank.empty() &&
        !core->loadState(StateScope::Bank, saved.bank.data(), saved.bank.size()))
    {
        say("the bank in settings file '" + settingsPath(cli::configFolder()) +
            "' holds values that are not numbers; starting from defaults");
        saved = LiveSettings();
        return;
    }
    core->selectProgram(saved.program);
    firstStart = false;
}

bool LiveApp::applyAmpOptions(std::string& error)
{
    const cli::AmpSettings& amp = options.amp;
    if (!amp.chunkFile.empty())
    {
        std::ifstream in(amp.chunkFile, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof())
            bytes.clear();
        const bool preset = bytes.size() == stateSize(StateScope::Program);
        if (!preset && bytes.size() != stateSize(StateScope::Bank))
        {
            error = "chunk file '" + amp.chunkFile + "' is not a bank (3360 bytes) or preset " +
                    "(336 bytes)";
            return false;
        }
        if (!core->loadState(preset ? StateScope::Program : StateScope::Bank, bytes.data(),
                             bytes.size()))
        {
            error = "the amplifier refused chunk file '" + amp.chunkFile + "'";
            return false;
        }
    }
    if (amp.program)
        core->selectProgram(*amp.program);
    if (amp.voicing)
    {
        // Clean/Crunch first: on the Overdrive channel it changes only the
        // flag, and the Channel write that follows recalls the memory of the
        // voicing then selected (as vorla-render does).
        switch (*amp.voicing)
        {
        case cli::Voicing::Clean:
            core->setParameter(kCleanCrunch, 0.0f);
            core->setParameter(kChannel, 0.0f);
            break;
        case cli::Voicing::Crunch:
            core->setParameter(kCleanCrunch, 1.0f);
            core->setParameter(kChannel, 0.0f);
            break;
        case cli::Voicing::Overdrive: core->setParameter(kChannel, 1.0f); break;
        }
    }
    if (amp.highQuality)
        core->setParameter(kQuality, *amp.highQuality ? 1.0f : 0.0f);
    if (amp.stereo)
        core->setParameter(kMonoStereo, 1.0f);
    for (const cli::ParameterSetting& setting : amp.settings)
    {
        const int32_t index = cli::findParameter(parameterNames(), setting.name);
        if (index < 0)
        {
            error = "unknown parameter '" + setting.name +
                    "'; the amplifier has: " + cli::parameterList(parameterNames());
            return false;
        }
        core->setParameter(index, setting.value);
    }
    return true;
}

bool LiveApp::loadCabinet(const CabinetChoice& choice, bool atStart, std::string& error)
{
    const int32_t period = jack ? jack->period() : 256;
    auto built = buildCabinet(choice, jack ? jack->sampleRate() : 48000.0, period, error);
    if (!built)
        return false;
    builtForPeriod = period;
    cabinet = choice;
    if (atStart)
        rig.cabinet().install(std::move(built), rig.cabinet().enabled());
    else
        rig.cabinet().offer(std::move(built));
    return true;
}

bool LiveApp::applyRigOptions(std::string& error)
{
    rig.setGate(options.rig.gateOn.value_or(saved.gateOn),
                options.rig.gateDb.value_or(saved.gateDb));
    bool on = saved.cabinetOn;
    std::string name = saved.cabinet;
    if (options.rig.cab)
    {
        on = !options.rig.cab->empty();
        if (on)
            name = *options.rig.cab;
    }
    rig.cabinet().setEnabled(on);
    CabinetChoice choice;
    std::string reason;
    if (!findCabinet(name, cli::cabinetFolder(), choice, reason) ||
        !loadCabinet(choice, true, reason))
    {
        if (options.rig.cab && on)
        {
            error = reason;
            return false; // asked for on the command line: the player must know
        }
        // A saved cabinet that has gone: say so and play without it.
        if (on)
            say(reason + "; the cabinet is off");
        rig.cabinet().setEnabled(false);
        findCabinet("closed-4x12", "", cabinet, reason);
    }
    return true;
}

void LiveApp::makeConnections()
{
    const std::vector<std::string> capture = jack->physicalPorts(true);
    const std::vector<std::string> playback = jack->physicalPorts(false);
    const bool stereo = core->switches().stereoOn.load() != 0;
    const char* inNames[2] = {"in_1", "in_2"};
    const char* outNames[2] = {"out_1", "out_2"};
    auto pick = [](const std::vector<std::string>& given,
                   const std::vector<std::string>& remembered,
                   const std::vector<std::string>& physical, std::size_t slot, bool wantDefault,
                   bool& explicitChoice) -> std::string {
        explicitChoice = !given.empty();
        if (!given.empty())
            return slot < given.size() ? given[slot] : "";
        if (!remembered.empty())
        {
            // Remembered ports count only while they still exist.
            if (slot < remembered.size() &&
                std::find(physical.begin(), physical.end(), remembered[slot]) != physical.end())
                return remembered[slot];
            if (slot < remembered.size() && remembered[slot].empty())
                return "";
        }
        return wantDefault && slot < physical.size() ? physical[slot] : "";
    };
    for (std::size_t slot = 0; slot < 2; ++slot)
    {
        bool explicitChoice = false;
        std::string error;
        const std::string in =
            pick(options.inputs, saved.inputs, capture, slot, slot == 0 || stereo, explicitChoice);
        if (!in.empty() && !jack->connect(in, inNames[slot], error))
        {
            std::string list;
            for (const std::string& port : capture)
                list += (list.empty() ? "" : ", ") + port;
            say(error + (list.empty() ? "" : "; capture ports: " + list));
        }
        else if (slot == 0)
            inputPort = in;
        const std::string out =
            pick(options.outputs, saved.outputs, playback, slot, true, explicitChoice);
        if (!out.empty() && !jack->connect(out, outNames[slot], error))
            say(error);
    }
}

void LiveApp::saveSettings()
{
    LiveSettings settings = saved;
    settings.bank.assign(stateSize(StateScope::Bank), 0);
    core->saveState(StateScope::Bank, settings.bank.data(), settings.bank.size());
    settings.program = core->currentProgram();
    if (jack && !jack->serverGone())
    {
        settings.inputs.clear();
        settings.outputs.clear();
        for (const char* port : {"in_1", "in_2"})
        {
            const auto connected = jack->connections(port);
            settings.inputs.push_back(connected.empty() ? "" : connected.front());
        }
        for (const char* port : {"out_1", "out_2"})
        {
            const auto connected = jack->connections(port);
            settings.outputs.push_back(connected.empty() ? "" : connected.front());
        }
    }
    settings.gateOn = rig.gateOn();
    settings.gateDb = rig.gateThreshold();
    settings.cabinetOn = rig.cabinet().enabled();
    settings.cabinet = cabinet.path.empty() ? cabinet.name : cabinet.path;
    settings.muted = engine->isMuted();
    std::string error;
    if (!writeSettings(settingsPath(cli::configFolder()), settings, error))
        say(error);
}

// --- LiveControls -------------------------------------------------------------

float LiveApp::inputLevelDb()
{
    return inLevel;
}

float LiveApp::outputLevelDb()
{
    return outLevel;
}

std::string LiveApp::inputName()
{
    return inputPort.empty() ? "-" : inputPort;
}

void LiveApp::stepInput(int32_t direction)
{
    if (!jack)
        return;
    const std::vector<std::string> capture = jack->physicalPorts(true);
    if (capture.empty())
        return;
    auto at = std::find(capture.begin(), capture.end(), inputPort);
    std::ptrdiff_t index = at == capture.end() ? -1 : at - capture.begin();
    const auto count = static_cast<std::ptrdiff_t>(capture.size());
    index = ((index + direction) % count + count) % count;
    jack->disconnectAll("in_1");
    std::string error;
    if (jack->connect(capture[static_cast<std::size_t>(index)], "in_1", error))
        inputPort = capture[static_cast<std::size_t>(index)];
    else
        inputPort.clear();
}

void LiveApp::setCabinetOn(bool on)
{
    cabinetError.clear();
    rig.cabinet().setEnabled(on);
}

void LiveApp::stepCabinet(int32_t direction)
{
    const std::vector<CabinetChoice> choices = listCabinets(cli::cabinetFolder());
    if (choices.empty())
        return;
    const auto count = static_cast<std::ptrdiff_t>(choices.size());
    // Step from the one last tried, so that a file that cannot be read is
    // stepped over, not run into again and again.
    std::ptrdiff_t index = -1;
    for (std::ptrdiff_t i = 0; i < count; ++i)
        if (choices[static_cast<std::size_t>(i)].name ==
            (cabinetTried.empty() ? cabinet.name : cabinetTried))
            index = i;
    index = ((index + direction) % count + count) % count;
    const CabinetChoice& choice = choices[static_cast<std::size_t>(index)];
    std::string error;
    cabinetError.clear();
    cabinetTried.clear();
    if (!loadCabinet(choice, false, error))
    {
        cabinetError = error;
        cabinetTried = choice.name;
        say(error);
    }
}

std::string LiveApp::programName()
{
    char name[32] = {};
    core->programName(core->currentProgram(), name, sizeof name);
    return name;
}

void LiveApp::stepProgram(int32_t direction)
{
    core->selectProgram(((core->currentProgram() + direction) % kNumPrograms + kNumPrograms) %
                        kNumPrograms);
}

void LiveApp::setMuted(bool on)
{
    engine->setMuted(on);
}

std::string LiveApp::message()
{
    if (!cabinetError.empty())
        return cabinetError;
    if (engine->isMuted())
        return "MUTED - click MUTE or press M to unmute";
    return "";
}

// --- The control loop ----------------------------------------------------------

void LiveApp::serviceRequests()
{
    const int32_t program = engine->takeProgramRequest();
    if (program >= 0)
        core->selectProgram(program);
    const int32_t cabinetIndex = engine->takeCabinetRequest();
    if (cabinetIndex >= 0)
    {
        const std::vector<CabinetChoice> choices = listCabinets(cli::cabinetFolder());
        if (!choices.empty())
        {
            std::string error;
            cabinetError.clear();
            const std::size_t index =
                std::min<std::size_t>(std::size_t(cabinetIndex), choices.size() - 1);
            if (!loadCabinet(choices[index], false, error))
            {
                cabinetError = error;
                say(error);
            }
        }
    }
    if (jack->takeRateChange())
    {
        // The core and the gate redesign on the audio thread; the cabinet is
        // prepared again here, for the new rate, and handed over.
        core->setSampleRate(static_cast<float>(jack->sampleRate()));
        rig.setRate(jack->sampleRate());
        std::string error;
        if (rig.cabinet().loaded() && !loadCabinet(cabinet, false, error))
            say(error);
    }
    if (jack->takePeriodChange() && rig.cabinet().loaded() && jack->period() != builtForPeriod)
    {
        std::string error;
        if (!loadCabinet(cabinet, false, error))
            say(error);
    }
    rig.cabinet().collect();
    jack->setLatency(rig.cabinet().enabled() && rig.cabinet().loaded() ? rig.cabinet().latency()
                                                                       : 0);
    // Meters: peak hold with a fall of 24 dB per second.
    constexpr float kFallPerPass = 0.24f;
    inLevel = std::max(toDb(engine->takeInputPeak()), inLevel - kFallPerPass);
    outLevel = std::max(toDb(engine->takeOutputPeak()), outLevel - kFallPerPass);
}

int LiveApp::screenshot()
{
    std::string error;
    if (!applyAmpOptions(error) || !applyRigOptions(error))
    {
        say(error);
        return 1;
    }
    engine->setMuted(options.muted.value_or(firstStart ? true : saved.muted));
    inputPort = options.inputs.empty() ? "system:capture_1" : options.inputs.front();
    inLevel = -18.0f;
    outLevel = -9.0f;
    if (!LiveWindow::drawToPng(*core, *this, options.screenshot, error))
    {
        say(error);
        return 1;
    }
    return 0;
}

int LiveApp::run()
{
    // Ctrl+C and SIGTERM end the main loop, which saves the settings.
    struct sigaction action
    {
    };
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    core = std::make_unique<EffectCore>();
    engine = std::make_unique<LiveEngine>(*core, rig);
    restoreSettings();
    if (!options.screenshot.empty())
        return screenshot();

    std::string error;
    if (!applyAmpOptions(error))
    {
        say(error);
        return 1;
    }
    jack = std::make_unique<JackLink>(*engine);
    bool noServer = false;
    if (!jack->open(options.name, error, noServer))
    {
        say(error);
        return noServer ? 2 : 1;
    }
    const double rate = jack->sampleRate();
    core->setSampleRate(static_cast<float>(rate));
    engine->prepare(rate);
    engine->setMuted(options.muted.value_or(firstStart ? true : saved.muted));
    engine->prepare(rate); // the mute fade starts where the mute stands
    if (!applyRigOptions(error))
    {
        say(error);
        return 1;
    }
    if (!jack->activate(error))
    {
        say(error);
        return 1;
    }
    jack->setLatency(rig.cabinet().enabled() ? rig.cabinet().latency() : 0);
    if (!options.noConnect)
        makeConnections();

    if (!options.noGui)
    {
        window = LiveWindow::open(*core, *this, error);
        if (!window)
            say(error + "; playing without a window (--no-gui)");
    }

    std::printf("vorla-live: playing as '%s' at %.0f Hz, period %d%s\n", options.name.c_str(), rate,
                jack->period(),
                engine->isMuted() ? " (muted: press M in the window, or send CC 89 = 0)" : "");
    std::fflush(stdout);

    const double started = nowSeconds();
    int status = 0;
    while (true)
    {
        if (gStopSignal.load(std::memory_order_relaxed) != 0)
            break;
        if (jack->serverGone())
        {
            const std::string why = jack->shutdownReason();
            say("the JACK server went away" + (why.empty() ? std::string() : " (" + why + ")") +
                "; settings saved, exiting");
            status = 1;
            break;
        }
        serviceRequests();
        if (window && !window->idle())
            break;
        const timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    // The settings read the connections, so they go first; then the audio
    // stops, and only then does the editor (a listener of the core that the
    // audio thread may call) go.
    saveSettings();
    const uint32_t xruns = jack->xruns();
    jack->close();
    window.reset();
    std::printf("vorla-live: stopped after %.0f s; the server reported %u xrun%s\n",
                double(nowSeconds() - started), xruns, xruns == 1 ? "" : "s");
    return status;
}

} // namespace vorla::live
