// SPDX-License-Identifier: GPL-3.0-or-later
// snapshot_options.cpp - command-line parsing for vorla-snapshot.
#include "snapshot_options.h"

#include "cli/amp_options.h"

const char* snapshotUsage()
{
    return "usage: vorla-snapshot OUT.png [--program N] [--chunk FILE] [--set NAME=VALUE ...]\n"
           "  Draws the plug-in's editor for the given settings into a 660 x 250 PNG.\n"
           "  --program N       select program N (0..9)\n"
           "  --chunk FILE      load a program (336 bytes) or bank (3360 bytes) chunk first\n"
           "  --set NAME=VALUE  set a parameter (name as the host shows it, or its index)\n"
           "                    to a normalised value in 0..1; may be repeated\n"
           "  Order of application: chunk, program, then the --set options in order.\n";
}

bool parseSnapshotOptions(int argc, const char* const* argv, SnapshotOptions& options,
                          std::string& error)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto needValue = [&](const char* what) -> const char* {
            if (i + 1 >= argc)
            {
                error = std::string(what) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help")
        {
            options.help = true;
            return true;
        }
        if (arg == "--program")
        {
            const char* v = needValue("--program");
            if (!v)
                return false;
            long n = 0;
            if (!vorla::cli::parseInteger(v, 0, 9, n))
            {
                error = std::string("bad program number '") + v + "' (expected 0..9)";
                return false;
            }
            options.program = int(n);
        }
        else if (arg == "--chunk")
        {
            const char* v = needValue("--chunk");
            if (!v)
                return false;
            options.chunkFile = v;
        }
        else if (arg == "--set")
        {
            const char* v = needValue("--set");
            if (!v)
                return false;
            const std::string text = v;
            const auto eq = text.find('=');
            if (eq == std::string::npos || eq == 0)
            {
                error = "bad --set '" + text + "' (expected NAME=VALUE)";
                return false;
            }
            float value = 0.f;
            std::string reason;
            if (!vorla::cli::parseParameterValue(text.substr(eq + 1), value, reason))
            {
                error = "bad value in --set '" + text + "': " + reason;
                return false;
            }
            options.sets.emplace_back(text.substr(0, eq), value);
        }
        else if (!arg.empty() && arg[0] == '-')
        {
            error = "unknown option '" + arg + "'";
            return false;
        }
        else if (options.output.empty())
        {
            options.output = arg;
        }
        else
        {
            error = "more than one output file given ('" + options.output + "', '" + arg + "')";
            return false;
        }
    }
    if (options.output.empty())
    {
        error = "no output file given";
        return false;
    }
    return true;
}
