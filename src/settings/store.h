// The three settings and their data file, "tavrel_data.qv" in the working
// directory: COM_PATH CR LF CON_PATH CR LF COM_SETTINGS, nothing after.
#pragma once

#include <string>

// Full path of the compiler, full path of ConsolePauser, extra compile
// options. Empty means not set. They never hold a line feed.
extern std::string COM_PATH;
extern std::string CON_PATH;
extern std::string COM_SETTINGS;

// Loads the settings from the data file when it names a regular file: its
// first three lines, one CR before each line feed dropped. Missing lines,
// and everything when there is no such file, leave their settings as they
// are (empty at start-up). A file that could not be opened or wholly read
// (a read error, memory running out) sets none of them.
void Load_settings();

// The data file's bytes for the current settings.
std::string Settings_bytes();

// Writes the data file and marks it hidden. An empty directory of that name
// is removed first. Returns false when the file could not be written; the
// previous file is then kept as it was, and `why` (when given) gets the
// reason line of Replace_file. A data file that the load found but could
// not open or read is left alone while all three settings are still empty.
// Signals and console events wait for it (see Replace_file).
bool Save_settings(std::string* why = nullptr);
