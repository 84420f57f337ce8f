// Settings files: the options of kartovel-convert, one per line, as the wizard saves them beside a
// picture ("map.png.kartovel") and as `kartovel-convert --settings FILE` reads them.
//
// A line is an option and its value ("--center 30,20"; "--projection Lambert Conformal Conic":
// the value is the rest of the line) or "--name=value"; blank lines and lines starting with '#'
// are comments. Control points are repeated "--point COLUMN,ROW,LAT,LON" lines.
#ifndef KARTOVEL_CLI_SETTINGS_FILE_H_
#define KARTOVEL_CLI_SETTINGS_FILE_H_

#include <string>
#include <vector>

#include "cli/options.h"

// Reads every line of `text` into `settings`. A line that is no option this version knows, or
// whose value is malformed, changes nothing and is listed in `ignored` as "line N: reason: text".
// --settings inside a file is ignored too (files do not include each other).
void ReadSettingsText(const std::string& text, Settings* settings,
                      std::vector<std::string>* ignored);

// Reads the file at `path` as ReadSettingsText does. False with "Cannot read settings file PATH"
// in `error` when it cannot be read (nothing is changed then).
bool ReadSettingsFile(const std::string& path, Settings* settings,
                      std::vector<std::string>* ignored, std::string* error);

// The lines that reproduce the map, the export choices (width, sampling, extent, world file, CRS,
// output projection with its height and settings) and the control points of `settings`, under a
// comment saying what the file is; `projectionName` goes into a comment beside the type code.
std::string SettingsFileText(const Settings& settings, const std::string& projectionName);

// Writes `text` to `path` through a temporary file beside it, so that a failed write leaves any
// earlier file whole. False when it could not be written.
bool WriteSettingsFile(const std::string& path, const std::string& text);

#endif  // KARTOVEL_CLI_SETTINGS_FILE_H_
