// SPDX-License-Identifier: GPL-3.0-or-later
// vorla-live - the Vorla amplifier as a JACK application: plug in a guitar
// and play, with a noise gate and a cabinet, without a DAW.
#include "live/live_app.h"
#include "live/live_options.h"

#include <cstdio>

int main(int argc, char** argv)
{
    vorla::live::LiveOptions options;
    std::string error;
    if (!vorla::live::parseLiveOptions(argc, argv, options, error))
    {
        std::fprintf(stderr, "vorla-live: %s\n", error.c_str());
        std::fprintf(stderr, "usage: vorla-live [--name NAME] [--input PORT] [--output PORT] "
                             "[--gate off|DB] [--cab off|NAME|FILE] [--no-gui] ... "
                             "(vorla-live --help tells all)\n");
        return 2;
    }
    if (options.help)
    {
        std::fputs(vorla::live::liveUsage().c_str(), stdout);
        return 0;
    }
    vorla::live::LiveApp app(std::move(options));
    return app.run();
}
