// Settings files: reading them line by line through the option table, and writing them.
#include "cli/settings_file.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

void ReadSettingsText(const std::string& text, Settings* settings,
                      std::vector<std::string>* ignored) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    std::string name = line;
    std::string value;
    bool hasValue = false;
    const std::size_t split = line.find_first_of(" \t=");
    if (split != std::string::npos) {
      name = line.substr(0, split);
      value = Trimmed(line.substr(split + 1));
      hasValue = true;
    }
    std::string error;
    // A trial copy, so that a refused line leaves nothing half-read behind.
    Settings trial = *settings;
    const bool read = name.rfind("--", 0) == 0 && name != "--settings" &&
                      ReadOption(name, hasValue ? &value : nullptr, &trial, &error);
    if (read) {
      *settings = std::move(trial);
      continue;
    }
    if (error.empty()) {
      error = name == "--settings" ? "a settings file cannot name another" : "not an option";
    }
    ignored->push_back("line " + std::to_string(number) + ": " + error + ": " + line);
  }
}

bool ReadSettingsFile(const std::string& path, Settings* settings,
                      std::vector<std::string>* ignored, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(file), {});
  if (!file && !file.eof()) {
    *error = "Cannot read settings file " + path;
    return false;
  }
  ReadSettingsText(text, settings, ignored);
  return true;
}

std::string SettingsFileText(const Settings& settings, const std::string& projectionName) {
  std::string text =
      "# Kartovel settings: options of kartovel-convert, one per line "
      "(kartovel-convert --settings FILE IN OUT).\n"
      "# Latitudes are north-positive; a positive offset moves the map right and up.\n";
  if (!projectionName.empty()) text += "# Projection: " + projectionName + "\n";
  const std::vector<std::string> options = SettingsOptions(settings.map);
  for (std::size_t i = 0; i + 1 < options.size(); i += 2) {
    text += options[i] + " " + options[i + 1] + "\n";
  }
  text += "--width " + std::to_string(settings.width) + "\n";
  if (settings.outputProjection && settings.height) {
    text += "--height " + std::to_string(*settings.height) + "\n";
  }
  // The sampling only where it differs from the default, so that the file also serves
  // --to-projection, which takes none.
  const SamplingOptions defaults;
  if (settings.sampling.kernel != defaults.kernel) {
    text += std::string("--resample ") + KernelName(settings.sampling.kernel) + "\n";
  }
  if (settings.sampling.antialias != defaults.antialias) text += "--no-antialias\n";
  if (settings.extentText) text += "--extent " + *settings.extentText + "\n";
  if (settings.worldFile) text += "--world-file\n";
  if (settings.crsText) text += "--crs " + *settings.crsText + "\n";
  if (settings.outputProjection) {
    // The output map's options are the source's with "--output-" in front.
    text += "--output-projection " + *settings.outputProjection + "\n";
    const std::vector<std::string> output = SettingsOptions(settings.outputMap);
    for (std::size_t i = 0; i + 1 < output.size(); i += 2) {
      if (output[i] == "--projection") continue;
      text += "--output-" + output[i].substr(2) + " " + output[i + 1] + "\n";
    }
  }
  for (const ControlPoint& p : settings.points) {
    text += "--point " + OptionNumber(p.column) + "," + OptionNumber(p.row) + "," +
            OptionNumber(p.latitude) + "," + OptionNumber(p.longitude) + "\n";
  }
  return text;
}

bool WriteSettingsFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file || !(file << text) || !file.flush()) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
