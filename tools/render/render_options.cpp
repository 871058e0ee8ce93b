// SPDX-License-Identifier: GPL-3.0-or-later
#include "render_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vorla::render {

namespace {

using cli::parseInteger;
using cli::parseReal;

// Options that take a value, accepted as "--name VALUE" or "--name=VALUE".
constexpr const char* kValueOptions[] = {"--plugin", "--block", "--save-chunk", "--tail",
                                         "--format"};

bool takesValue(const std::string& name)
{
    for (const char* option : kValueOptions)
        if (name == option)
            return true;
    return cli::takesAmpValue(name);
}

} // namespace

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

        cli::OptionWord option = cli::splitOptionWord(argument);
        const std::string& name = option.name;
        const std::string& value = option.value;

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
        if (cli::parseAmpFlag(name, options.amp) == cli::Parsed::Taken)
            continue;
        if (!takesValue(name))
        {
            error = "unknown option '" + name + "' (see --help)";
            return false;
        }
        if (!cli::takeOptionValue(option, argc, argv, i, error))
            return false;

        const cli::Parsed parsed =
            cli::parseAmpOrRigOption(name, value, options.amp, options.rig, error);
        if (parsed == cli::Parsed::Failed)
            return false;
        if (parsed == cli::Parsed::Taken)
            continue;

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
        else if (name == "--save-chunk")
        {
            if (value.empty())
            {
                error = name + " needs a file name";
                return false;
            }
            options.saveChunkFile = value;
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

std::string usageText()
{
    return std::string(R"(Usage: vorla-render [options] INPUT OUTPUT

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
)") + cli::ampUsage() +
           cli::rigUsage() +
           R"(  --save-chunk FILE    write the plug-in's bank chunk after all settings
  --tail SECONDS       append this much silence so the amplifier rings out
  --format F           pcm16, pcm24 or float (default: float; PCM 24 for FLAC)
  --quiet              no progress and no summary; errors only
  --help               this text

Settings are applied in this order, whatever the order on the command line:
--chunk, --program, --channel, --quality, --stereo, then each --set in the
order given.  The gate works on the input before the amplifier, the cabinet
on its output, with the same code as vorla-live; a cabinet's latency (64
frames for this offline use) is taken out, so the output stays aligned with
the input.

On a terminal a progress percentage is shown on stderr; at the end a summary
(levels in dBFS, voicing, quality, oversampling, real-time factor) goes to
stdout.  Exit status 0 on success, 1 on any error.
)";
}

} // namespace vorla::render
