// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/live_settings.h"

#include "cli/amp_options.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace vorla::live {

namespace {

constexpr const char* kHeader = "# vorla-live settings, version 1";
constexpr std::size_t kBankBytes = 3360;

bool parseBool(const std::string& text, bool& value)
{
    if (text != "0" && text != "1")
        return false;
    value = text == "1";
    return true;
}

bool parseHex(const std::string& text, std::vector<uint8_t>& bytes)
{
    if (text.size() != kBankBytes * 2)
        return false;
    bytes.resize(kBankBytes);
    for (std::size_t i = 0; i < kBankBytes; ++i)
    {
        unsigned value = 0;
        for (std::size_t k = 0; k < 2; ++k)
        {
            const char c = text[i * 2 + k];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= unsigned(c - 'a' + 10);
            else
                return false;
        }
        bytes[i] = static_cast<uint8_t>(value);
    }
    return true;
}

} // namespace

std::string settingsPath(const std::string& folder)
{
    return folder + "/live.conf";
}

SettingsRead readSettings(const std::string& path, LiveSettings& settings, std::string& error)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        return SettingsRead::Missing;
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line) || line != kHeader)
    {
        error =
            "settings file '" + path + "' is not one this program wrote; starting from defaults";
        return SettingsRead::Corrupt;
    }
    LiveSettings read;
    read.muted = false;
    int number = 1;
    while (std::getline(in, line))
    {
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
        bool ok = equals != std::string::npos;
        long integer = 0;
        double real = 0.0;
        if (ok && key == "bank")
            ok = parseHex(value, read.bank);
        else if (key == "program")
            ok = cli::parseInteger(value, 0, 9, integer) &&
                 ((read.program = int32_t(integer)), true);
        else if (key == "input")
            read.inputs.push_back(value);
        else if (key == "output")
            read.outputs.push_back(value);
        else if (key == "gate")
            ok = parseBool(value, read.gateOn);
        else if (key == "gate_db")
            ok = cli::parseReal(value, real) && real >= -96.0 && real <= 0.0 &&
                 ((read.gateDb = float(real)), true);
        else if (key == "cabinet")
            ok = parseBool(value, read.cabinetOn);
        else if (key == "cabinet_name")
            read.cabinet = value;
        else if (key == "muted")
            ok = parseBool(value, read.muted);
        // Keys of later versions are passed over.
        if (!ok)
        {
            error = "settings file '" + path + "' line " + std::to_string(number) +
                    " cannot be read; starting from defaults";
            return SettingsRead::Corrupt;
        }
    }
    if (in.bad())
    {
        error = "cannot read settings file '" + path + "'; starting from defaults";
        return SettingsRead::Corrupt;
    }
    settings = std::move(read);
    return SettingsRead::Read;
}

bool writeSettings(const std::string& path, const LiveSettings& settings, std::string& error)
{
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << kHeader << "\n";
        out << "program=" << settings.program << "\n";
        if (settings.bank.size() == kBankBytes)
        {
            static const char digits[] = "0123456789abcdef";
            std::string hex;
            for (uint8_t byte : settings.bank)
            {
                hex += digits[byte >> 4];
                hex += digits[byte & 15];
            }
            out << "bank=" << hex << "\n";
        }
        for (const std::string& port : settings.inputs)
            out << "input=" << port << "\n";
        for (const std::string& port : settings.outputs)
            out << "output=" << port << "\n";
        char db[32];
        std::snprintf(db, sizeof db, "%.1f", double(settings.gateDb));
        out << "gate=" << (settings.gateOn ? 1 : 0) << "\n";
        out << "gate_db=" << db << "\n";
        out << "cabinet=" << (settings.cabinetOn ? 1 : 0) << "\n";
        out << "cabinet_name=" << settings.cabinet << "\n";
        out << "muted=" << (settings.muted ? 1 : 0) << "\n";
        out.close();
        if (!out)
        {
            fs::remove(temporary, ec);
            error = "cannot write settings file '" + temporary + "'";
            return false;
        }
    }
    fs::rename(temporary, path, ec);
    if (ec)
    {
        error = "cannot save settings to '" + path + "': " + ec.message();
        return false;
    }
    return true;
}

} // namespace vorla::live
