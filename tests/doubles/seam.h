// The recording fake of the seam: the program's logic linked against it runs
// in process, on every system alike. What the user types, what the program
// writes, the lines it hands the interpreter, the files it asks about and
// saves, and the sleeps it asks for, all in memory.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace seam {

// HELD: a regular file that a running program holds.
enum Kind { REGULAR, FOLDER, HELD };

// Set by a test before the program runs.
inline std::string input;                                 // all the user types
inline std::map<std::string, Kind> paths;                 // what the status queries see
inline std::vector<std::pair<std::string, int>> answers;  // a line's prefix, its status (else 0)
inline bool save_fails = false;                           // Replace_file fails,
inline std::string save_why;                              // giving this reason
inline std::string notice;                                // Folder_notice's text
inline std::vector<long long> late;  // how late each wake-up from a deadline is, in µs

// Recorded while it runs. Run_command's "pause" writes the pause's prompt
// and a line feed to `out`, as the interpreter does with no terminal.
inline std::string out;
inline std::vector<std::string> commands;          // every line but cls, pause and title, and
                                                   // "TAVREL_OUTPUT_CP=cp" for each such setting
inline std::map<std::string, std::string> saved;   // Replace_file's bytes, by path
inline std::vector<std::string> hidden;            // Mark_hidden's paths
inline std::vector<std::string> compiler_folders;  // Use_compiler_folder's paths
inline std::vector<long long> sleeps;              // every sleep asked for, in µs
inline long long clock = 0;                        // µs: what was slept, and the lateness
inline std::size_t woken = 0;                      // wake-ups from a deadline so far
inline std::size_t read_at = 0;                    // how much of `input` was read

// Everything above back to empty.
void Reset();

}  // namespace seam
