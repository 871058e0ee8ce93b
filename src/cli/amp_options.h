// SPDX-License-Identifier: GPL-3.0-or-later
// amp_options.h - the command-line words every Vorla program takes for the
// amplifier and what goes around it: --set, --program, --chunk, --channel,
// --quality, --stereo, --gate and --cab.  vorla-render and vorla-live parse
// them here, so they have the same names and meanings in both.
//
// Parsing checks what can be checked without the amplifier (numbers, ranges,
// words); names given to --set and cabinets given to --cab are resolved by
// the program that applies them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorla::cli {

enum class Voicing
{
    Clean,
    Crunch,
    Overdrive,
};

/// One --set NAME=VALUE, with the value already checked to lie in 0..1.
struct ParameterSetting
{
    std::string name; // as typed: a parameter name or an index
    float value = 0.0f;
};

/// The amplifier's settings, applied in this order whatever the order on
/// the command line: chunk, program, channel, quality, stereo, each --set.
struct AmpSettings
{
    std::string chunkFile;
    std::optional<int> program; // 0..9
    std::optional<Voicing> voicing;
    std::optional<bool> highQuality;
    bool stereo = false;
    std::vector<ParameterSetting> settings;
};

/// Gate and cabinet as given: unset when the option was not used.
struct RigSettings
{
    std::optional<bool> gateOn;
    std::optional<float> gateDb;    // dBFS, -96..0
    std::optional<std::string> cab; // "" for off, else a name or a file
};

/// How an option fared with a parser.
enum class Parsed
{
    NotMine, // not one of this parser's options
    Taken,
    Failed, // its value is wrong: the reason is in `error`
};

/// `text` in lower case (ASCII), for names and words compared without case.
std::string lowered(std::string text);
/// A whole decimal number within lowest..highest.
bool parseInteger(const std::string& text, long lowest, long highest, long& result);
/// A finite decimal number.
bool parseReal(const std::string& text, double& result);
/// A parameter value: a number within 0..1, or on/off, true/false, yes/no.
bool parseParameterValue(const std::string& text, float& value, std::string& error);

/// The parameter a --set name stands for among `names` (the amplifier's, in
/// index order): the name in any case with spaces, '/', '-' and '_' ignored
/// ("power-amp", "PowerAmp" and "Power Amp" are one), else a beginning only
/// one name has ("contour"), else a decimal index; -1 when none fits.
int findParameter(const std::vector<std::string>& names, const std::string& nameOrIndex);
/// "0 Input, 1 Drive1, ...": what a message about an unknown name lists.
std::string parameterList(const std::vector<std::string>& names);

/// A command-line word as an option: "--name=value" split at its first
/// '='; any other word is the name, without a value.
struct OptionWord
{
    std::string name;
    std::string value;
    bool hasValue = false;
};
OptionWord splitOptionWord(const std::string& argument);

/// The value of the option in `word`: its own ("--name=value"), else the
/// next command-line word, which it uses up (`i` moves on).  False, with the
/// reason in `error`, when the command line ends first.
bool takeOptionValue(OptionWord& word, int argc, char** argv, int& i, std::string& error);

/// True for the options of this file that take a value.
bool takesAmpValue(const std::string& name);
/// --stereo (the one flag without a value).
Parsed parseAmpFlag(const std::string& name, AmpSettings& amp);
/// An option with its value: --set, --program, --chunk, --channel, --quality.
Parsed parseAmpOption(const std::string& name, const std::string& value, AmpSettings& amp,
                      std::string& error);
/// --gate off|DB and --cab off|NAME|FILE.
Parsed parseRigOption(const std::string& name, const std::string& value, RigSettings& rig,
                      std::string& error);

/// An amplifier option, else a gate or cabinet option.
Parsed parseAmpOrRigOption(const std::string& name, const std::string& value, AmpSettings& amp,
                           RigSettings& rig, std::string& error);

/// The lines of --help for these options (two spaces in, 23 columns of names).
const char* ampUsage();
const char* rigUsage();

} // namespace vorla::cli
