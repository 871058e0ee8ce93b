// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/amp_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vorla::cli {

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

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

namespace {

/// A name as compared: lower case, without spaces, '/', '-' and '_'.
std::string normalisedName(const std::string& name)
{
    std::string out;
    for (const char c : lowered(name))
        if (c != ' ' && c != '/' && c != '-' && c != '_')
            out.push_back(c);
    return out;
}

} // namespace

int findParameter(const std::vector<std::string>& names, const std::string& nameOrIndex)
{
    const std::string wanted = normalisedName(nameOrIndex);
    int beginsOne = -1;
    int beginnings = 0;
    for (size_t i = 0; i < names.size() && !wanted.empty(); ++i)
    {
        const std::string name = normalisedName(names[i]);
        if (name == wanted)
            return int(i);
        if (name.rfind(wanted, 0) == 0)
        {
            beginsOne = int(i);
            ++beginnings;
        }
    }
    if (beginnings == 1)
        return beginsOne;
    long index = -1;
    if (!names.empty() && parseInteger(nameOrIndex, 0, long(names.size()) - 1, index))
        return int(index);
    return -1;
}

std::string parameterList(const std::vector<std::string>& names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i ? ", " : "") + std::to_string(i) + " " + names[i];
    return text;
}

OptionWord splitOptionWord(const std::string& argument)
{
    OptionWord word;
    word.name = argument;
    if (const auto equals = argument.find('=');
        argument.rfind("--", 0) == 0 && equals != std::string::npos)
    {
        word.name = argument.substr(0, equals);
        word.value = argument.substr(equals + 1);
        word.hasValue = true;
    }
    return word;
}

bool takesAmpValue(const std::string& name)
{
    for (const char* option :
         {"--set", "--program", "--chunk", "--channel", "--quality", "--gate", "--cab"})
        if (name == option)
            return true;
    return false;
}

Parsed parseAmpFlag(const std::string& name, AmpSettings& amp)
{
    if (name != "--stereo")
        return Parsed::NotMine;
    amp.stereo = true;
    return Parsed::Taken;
}

Parsed parseAmpOption(const std::string& name, const std::string& value, AmpSettings& amp,
                      std::string& error)
{
    if (name == "--program")
    {
        long program = 0;
        if (!parseInteger(value, 0, 9, program))
        {
            error = "--program '" + value + "' must be a whole number from 0 to 9";
            return Parsed::Failed;
        }
        amp.program = static_cast<int>(program);
        return Parsed::Taken;
    }
    if (name == "--channel")
    {
        const std::string word = lowered(value);
        if (word == "clean")
            amp.voicing = Voicing::Clean;
        else if (word == "crunch")
            amp.voicing = Voicing::Crunch;
        else if (word == "overdrive")
            amp.voicing = Voicing::Overdrive;
        else
        {
            error = "--channel '" + value + "' must be clean, crunch or overdrive";
            return Parsed::Failed;
        }
        return Parsed::Taken;
    }
    if (name == "--quality")
    {
        const std::string word = lowered(value);
        if (word == "low")
            amp.highQuality = false;
        else if (word == "high")
            amp.highQuality = true;
        else
        {
            error = "--quality '" + value + "' must be low or high";
            return Parsed::Failed;
        }
        return Parsed::Taken;
    }
    if (name == "--chunk")
    {
        if (value.empty())
        {
            error = name + " needs a file name";
            return Parsed::Failed;
        }
        amp.chunkFile = value;
        return Parsed::Taken;
    }
    if (name == "--set")
    {
        const auto equals = value.rfind('=');
        if (equals == std::string::npos || equals == 0)
        {
            error = "--set '" + value + "' must have the form NAME=VALUE";
            return Parsed::Failed;
        }
        ParameterSetting setting;
        setting.name = value.substr(0, equals);
        std::string reason;
        if (!parseParameterValue(value.substr(equals + 1), setting.value, reason))
        {
            error = "--set " + setting.name + ": " + reason;
            return Parsed::Failed;
        }
        amp.settings.push_back(setting);
        return Parsed::Taken;
    }
    return Parsed::NotMine;
}

Parsed parseRigOption(const std::string& name, const std::string& value, RigSettings& rig,
                      std::string& error)
{
    if (name == "--gate")
    {
        if (lowered(value) == "off")
        {
            rig.gateOn = false;
            return Parsed::Taken;
        }
        double db = 0.0;
        if (!parseReal(value, db) || db < -96.0 || db > 0.0)
        {
            error = "--gate '" + value + "' must be off or a threshold in dBFS from -96 to 0";
            return Parsed::Failed;
        }
        rig.gateOn = true;
        rig.gateDb = static_cast<float>(db);
        return Parsed::Taken;
    }
    if (name == "--cab")
    {
        if (value.empty())
        {
            error = "--cab needs off, a built-in cabinet's name or a file";
            return Parsed::Failed;
        }
        rig.cab = lowered(value) == "off" ? std::string() : value;
        return Parsed::Taken;
    }
    return Parsed::NotMine;
}

bool takeOptionValue(OptionWord& word, int argc, char** argv, int& i, std::string& error)
{
    if (word.hasValue)
        return true;
    if (i + 1 >= argc)
    {
        error = "option " + word.name + " needs a value";
        return false;
    }
    word.value = argv[++i];
    word.hasValue = true;
    return true;
}

Parsed parseAmpOrRigOption(const std::string& name, const std::string& value, AmpSettings& amp,
                           RigSettings& rig, std::string& error)
{
    const Parsed parsed = parseAmpOption(name, value, amp, error);
    return parsed == Parsed::NotMine ? parseRigOption(name, value, rig, error) : parsed;
}

const char* ampUsage()
{
    return R"(  --program N          select program N (0..9) of the bank
  --channel V          clean, crunch or overdrive (sets Channel and Clean/Crunch)
  --quality Q          low or high (the LowQ/HighQ switch; high doubles the oversampling)
  --stereo             turn Mono/Stereo on: each side runs its own amplifier
  --set NAME=VALUE     set a parameter; NAME as the plug-in reports it (any case,
                       spaces, '-', '_' and '/' ignored, e.g. Drive1, power-amp,
                       LowQ/HighQ), a beginning only one name has, or its index 0..14;
                       VALUE 0..1, or on/off for a switch (1.0/0.0).  Repeatable.
  --chunk FILE         load a saved bank (3360 bytes) or preset (336 bytes)
)";
}

const char* rigUsage()
{
    return R"(  --gate off|DB        noise gate before the amplifier, opening at DB dBFS (-96..0)
  --cab off|NAME|FILE  cabinet after the amplifier: a built-in (open-1x12,
                       closed-2x12, closed-4x12) or a WAV, FLAC or AIFF response
)";
}

} // namespace vorla::cli
