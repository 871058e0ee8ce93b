#include "render_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vorla::render {

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

namespace {

bool parseInteger(const std::string& text, long lowest, long highest, long& result)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0')
        return false;
    if (value < lowest || value > highest)
        return false;
    result = value;
    return true;
}

bool parseReal(const std::string& text, double& result)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())))
        return false;
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (errno == ERANGE || end == text.c_str() || *end != '\0' || !std::isfinite(value))
        return false;
    result = value;
    return true;
}

// Options that take a value, accepted as "--name VALUE" or "--name=VALUE".
constexpr const char* kValueOptions[] = {"--plugin",  "--block",   "--program", "--set",
                                         "--channel", "--quality", "--chunk",   "--save-chunk",
                                         "--tail",    "--format"};

bool takesValue(const std::string& name)
{
    for (const char* option : kValueOptions)
        if (name == option)
            return true;
    return false;
}

} // namespace

bool parseParameterValue(const std::string& text, float& value, std::string& error)
{
    const std::string word = lowered(text);
    if (word == "on" || word == "true" || word == "yes")
    {
        value = 1.0f;
        return true;
    }
    if (word == "off" || word == "false" || word == "no")
    {
        value = 0.0f;
        return true;
    }
    double number = 0.0;
    if (!parseReal(text, number))
    {
        error = "'" + text + "' is not a number (expected 0..1, on or off)";
        return false;
    }
    if (number < 0.0 || number > 1.0)
    {
        error = "value " + text + " is outside 0..1";
        return false;
    }
    value = static_cast<float>(number);
    return true;
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error)
{
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i)
    {
        std::string argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-')
        {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--")
        {
            optionsEnded = true;
            continue;
        }

        std::string name = argument;
        std::string value;
        bool hasValue = false;
        if (const auto equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos)
        {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }

        if (name == "--help" || name == "-h")
        {
            options.help = true;
            continue;
        }
        if (name == "--quiet" || name == "-q")
        {
            options.quiet = true;
            continue;
        }
        if (name == "--stereo")
        {
            options.stereo = true;
            continue;
        }
        if (!takesValue(name))
        {
            error = "unknown option '" + name + "' (see --help)";
            return false;
        }
        if (!hasValue)
        {
            if (i + 1 >= argc)
            {
                error = "option " + name + " needs a value";
                return false;
            }
            value = argv[++i];
        }

        if (name == "--plugin")
        {
            if (value.empty())
            {
                error = "--plugin needs a path";
                return false;
            }
            options.pluginPath = value;
        }
        else if (name == "--block")
        {
            long block = 0;
            if (!parseInteger(value, 1, 65536, block))
            {
                error = "--block '" + value + "' must be a whole number from 1 to 65536";
                return false;
            }
            options.blockSize = static_cast<int>(block);
        }
        else if (name == "--program")
        {
            long program = 0;
            if (!parseInteger(value, 0, 9, program))
            {
                error = "--program '" + value + "' must be a whole number from 0 to 9";
                return false;
            }
            options.program = static_cast<int>(program);
        }
        else if (name == "--channel")
        {
            const std::string word = lowered(value);
            if (word == "clean")
                options.voicing = Voicing::Clean;
            else if (word == "crunch")
                options.voicing = Voicing::Crunch;
            else if (word == "overdrive")
                options.voicing = Voicing::Overdrive;
            else
            {
                error = "--channel '" + value + "' must be clean, crunch or overdrive";
                return false;
            }
        }
        else if (name == "--quality")
        {
            const std::string word = lowered(value);
            if (word == "low")
                options.highQuality = false;
            else if (word == "high")
                options.highQuality = true;
            else
            {
                error = "--quality '" + value + "' must be low or high";
                return false;
            }
        }
        else if (name == "--format")
        {
            const std::string word = lowered(value);
            if (word == "float")
                options.format = SampleFormat::Float;
            else if (word == "pcm16")
                options.format = SampleFormat::Pcm16;
            else if (word == "pcm24")
                options.format = SampleFormat::Pcm24;
            else
            {
                error = "--format '" + value + "' must be pcm16, pcm24 or float";
                return false;
            }
        }
        else if (name == "--tail")
        {
            double seconds = 0.0;
            if (!parseReal(value, seconds) || seconds < 0.0 || seconds > 3600.0)
            {
                error = "--tail '" + value + "' must be a number of seconds from 0 to 3600";
                return false;
            }
            options.tailSeconds = seconds;
        }
        else if (name == "--chunk" || name == "--save-chunk")
        {
            if (value.empty())
            {
                error = name + " needs a file name";
                return false;
            }
            (name == "--chunk" ? options.chunkFile : options.saveChunkFile) = value;
        }
        else if (name == "--set")
        {
            const auto equals = value.rfind('=');
            if (equals == std::string::npos || equals == 0)
            {
                error = "--set '" + value + "' must have the form NAME=VALUE";
                return false;
            }
            ParameterSetting setting;
            setting.name = value.substr(0, equals);
            std::string reason;
            if (!parseParameterValue(value.substr(equals + 1), setting.value, reason))
            {
                error = "--set " + setting.name + ": " + reason;
                return false;
            }
            options.settings.push_back(setting);
        }
    }

    if (options.help)
        return true;
    if (positional.size() != 2)
    {
        error = positional.size() < 2 ? "expected INPUT and OUTPUT files (see --help)"
                                      : "too many file arguments: expected INPUT and OUTPUT";
        return false;
    }
    options.input = positional[0];
    options.output = positional[1];
    return true;
}

const char* usageText()
{
    return R"(Usage: vorla-render [options] INPUT OUTPUT

Renders an audio file through the Vorla amplifier plug-in, hosting it the way
a DAW does (load, open, sample rate, block size, settings, resume, process in
blocks, suspend, close).

INPUT   WAV, FLAC or AIFF (anything libsndfile reads), mono or stereo, any rate.
        Mono input feeds both amplifier inputs; stereo input feeds each side.
OUTPUT  written at the input's sample rate.  The container follows the name:
        .flac gives FLAC, .aif/.aiff gives AIFF, anything else WAV.
        Channels: 2 when the input is stereo or the amplifier is in stereo
        mode, else 1 (the amplifier's first output).

Options:
  --plugin PATH        the plug-in library (default: vorla.so next to vorla-render)
  --block N            host block size, 1..65536 (default 512); the last block is shorter
  --program N          select program N (0..9) of the plug-in's bank
  --channel V          clean, crunch or overdrive (sets Channel and Clean/Crunch)
  --quality Q          low or high (the LowQ/HighQ switch; high doubles the oversampling)
  --stereo             turn Mono/Stereo on: each side runs its own amplifier
  --set NAME=VALUE     set a parameter; NAME as the plug-in reports it (any case,
                       e.g. Drive1, "Power Amp", LowQ/HighQ) or its index 0..14;
                       VALUE 0..1, or on/off for a switch (1.0/0.0).  Repeatable.
  --chunk FILE         load a saved bank (3360 bytes) or preset (336 bytes)
  --save-chunk FILE    write the plug-in's bank chunk after all settings
  --tail SECONDS       append this much silence so the amplifier rings out
  --format F           pcm16, pcm24 or float (default: float; PCM 24 for FLAC)
  --quiet              no progress and no summary; errors only
  --help               this text

Settings are applied in this order, whatever the order on the command line:
--chunk, --program, --channel, --quality, --stereo, then each --set in the
order given.

On a terminal a progress percentage is shown on stderr; at the end a summary
(levels in dBFS, voicing, quality, oversampling, real-time factor) goes to
stdout.  Exit status 0 on success, 1 on any error.
)";
}

} // namespace vorla::render
