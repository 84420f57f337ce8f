// The commands of kartovel-convert, each given the settings its options were read into.
#ifndef KARTOVEL_CLI_COMMANDS_H_
#define KARTOVEL_CLI_COMMANDS_H_

#include "cli/options.h"
#include "registry/map_instance.h"

// Sets up the map the options describe, with the projection of type `code`. Returns 0, or
// kBadUsage after saying which values the projection refused.
int SetUpInstance(const Settings& s, int code, MapInstance* instance);
// The same for any map's settings; `prefix` goes before the option names in the message.
int SetUpMap(const MapSettings& settings, int code, MapInstance* instance,
             const std::string& prefix = "--");

// INPUT OUTPUT: the conversion to equirectangular (or with --output-projection to that projection),
// or with --to-projection the reverse. Returns the exit code.
int Convert(const Settings& s);

// --fit IMAGE [--points FILE] [--rank]: fitted settings as options, the quality and each
// point's residual; with --rank one line per type, best first. Returns the exit code.
int FitCommand(const Settings& s);

// --list: one line per registered type, ascending code; scripts read this format.
int ListProjections();

#endif  // KARTOVEL_CLI_COMMANDS_H_
