// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/live_options.h"

#include "cli/user_folders.h"
#include "live/midi_map.h"

namespace vorla::live {

bool parseLiveOptions(int argc, char** argv, LiveOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        cli::OptionWord option = cli::splitOptionWord(argument);
        const std::string& name = option.name;
        const std::string& value = option.value;
        if (name == "--help" || name == "-h")
        {
            options.help = true;
            continue;
        }
        if (name == "--no-connect" || name == "--no-gui" || name == "--fresh")
        {
            (name == "--no-connect" ? options.noConnect
             : name == "--no-gui"   ? options.noGui
                                    : options.fresh) = true;
            continue;
        }
        if (cli::parseAmpFlag(name, options.amp) == cli::Parsed::Taken)
            continue;
        const bool ours = name == "--name" || name == "--input" || name == "--output" ||
                          name == "--mute" || name == "--screenshot";
        if (!ours && !cli::takesAmpValue(name))
        {
            error = argument.rfind("-", 0) == 0 ? "unknown option '" + name + "'"
                                                : "unexpected argument '" + argument + "'";
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
        if (value.empty())
        {
            error = name + " needs a value";
            return false;
        }
        if (name == "--name")
        {
            if (value.size() > 40 || value.find(':') != std::string::npos)
            {
                error = "--name '" + value + "' must be at most 40 characters, without ':'";
                return false;
            }
            options.name = value;
        }
        else if (name == "--input" || name == "--output")
        {
            auto& ports = name == "--input" ? options.inputs : options.outputs;
            if (ports.size() == 2)
            {
                error = name + " is given more than twice";
                return false;
            }
            ports.push_back(value);
        }
        else if (name == "--mute")
        {
            const std::string word = cli::lowered(value);
            if (word != "on" && word != "off")
            {
                error = "--mute '" + value + "' must be on or off";
                return false;
            }
            options.muted = word == "on";
        }
        else if (name == "--screenshot")
            options.screenshot = value;
    }
    return true;
}

std::string liveUsage()
{
    return std::string(R"(Usage: vorla-live [options]

Plays your guitar through the Vorla amplifier, with a noise gate before it and
a speaker cabinet after it, as a JACK client: on jackd, or on PipeWire
(run it as 'pw-jack vorla-live' where PipeWire's JACK is not the default).

Ports: NAME:in_1 (the guitar), NAME:in_2 (the second input, used in stereo
mode), NAME:out_1, NAME:out_2 and the MIDI input NAME:midi_in.

Options:
  --name NAME          JACK client name (default vorla)
  --input PORT         capture port for in_1 (default: the first physical
                       capture port, e.g. system:capture_1); a second --input
                       feeds in_2.  Guitar on input 2: --input system:capture_2
  --output PORT        playback port for out_1; a second one for out_2 (default:
                       the first two physical playback ports)
  --no-connect         make no connections (connect with your patchbay)
  --no-gui             no window: for a pedalboard computer, run from a shell
  --fresh              start from defaults instead of the saved settings
  --mute on|off        start muted or not (the very first start is muted)
)") + cli::ampUsage() +
           cli::rigUsage() +
           R"(  --screenshot FILE    draw the window as it would look into a PNG and exit
  --help               this text

Settings are applied in this order: the saved settings (unless --fresh), then
--chunk, --program, --channel, --quality, --stereo and each --set.  With gate
and cabinet off the output equals vorla-render's for the same input and
settings, bit for bit, when the JACK period equals vorla-render --block.

Remembered on exit (also on Ctrl+C or SIGTERM) and restored on start: the bank
and current program, the ports, gate, cabinet and mute, in
  )" + cli::configFolder() +
           R"(/live.conf
Your own cabinets: WAV, FLAC or AIFF impulse responses (any rate, mono or
stereo) in
  )" + cli::cabinetFolder() +
           R"(
appear after the built-ins in the window and for --cab NAME.

)" + kMidiMapText +
           R"(
Keys in the window: M mutes and unmutes.
Exit status: 0 after a normal end (window closed, Ctrl+C, SIGTERM); 1 when the
JACK server goes away or a setting cannot be used; 2 when no JACK server runs
or an option is wrong.
)";
}

} // namespace vorla::live
