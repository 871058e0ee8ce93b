// SPDX-License-Identifier: GPL-3.0-or-later
// snapshot_options.cpp - command-line parsing for vorla-snapshot.
#include "snapshot_options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool parseInt(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < -1000000 || v > 1000000)
        return false;
    value = static_cast<int>(v);
    return true;
}

std::string normalise(const std::string& s)
{
    std::string out;
    for (char c : s)
    {
        if (c == ' ' || c == '/' || c == '-' || c == '_')
            continue;
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

} // namespace

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

bool parseUnitValue(const std::string& text, float& value)
{
    if (text.empty())
        return false;
    // Switches take words too, as in vorla-render.
    std::string word;
    for (const char c : text)
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v) || v < 0.0 || v > 1.0)
        return false;
    value = static_cast<float>(v);
    return true;
}

bool sameParameterName(const std::string& a, const std::string& b)
{
    const std::string na = normalise(a);
    return !na.empty() && na == normalise(b);
}

bool startsParameterName(const std::string& prefix, const std::string& name)
{
    const std::string np = normalise(prefix);
    return !np.empty() && normalise(name).rfind(np, 0) == 0;
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
            int n = 0;
            if (!parseInt(v, n) || n < 0 || n > 9)
            {
                error = std::string("bad program number '") + v + "' (expected 0..9)";
                return false;
            }
            options.program = n;
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
            if (!parseUnitValue(text.substr(eq + 1), value))
            {
                error =
                    "bad value in --set '" + text + "' (expected a number from 0 to 1, on or off)";
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
