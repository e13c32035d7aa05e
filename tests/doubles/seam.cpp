// The seam's functions over seam.h's state, linked in place of the platform
// library.
#include "doubles/seam.h"

#include <algorithm>

#include "platform/platform.h"

const char* const PAUSE_PROMPT = "请按任意键继续. . .";

void seam::Reset() {
  input.clear();
  paths.clear();
  answers.clear();
  save_fails = false;
  save_why.clear();
  notice.clear();
  out.clear();
  commands.clear();
  saved.clear();
  hidden.clear();
  compiler_folders.clear();
  sleeps.clear();
  late.clear();
  woken = 0;
  clock = 0;
  read_at = 0;
}

void Set_console_utf8() {}
void Set_up_pacing() {}
void Reset_child_signal() {}
void Use_compiler_folder(const std::string& com_path) {
  seam::compiler_folders.push_back(com_path);
}

void Tell_output_code_page(const std::string& code_page) {
  seam::commands.push_back("TAVREL_OUTPUT_CP=" + code_page);
}

bool Held_by_a_program(const std::string& path) {
  const auto found = seam::paths.find(path);
  return found != seam::paths.end() && found->second == seam::HELD;
}

void Write_out(std::string_view bytes) { seam::out += bytes; }

bool Read_line(std::string& s, std::size_t keep) {
  s.clear();
  if (seam::read_at >= seam::input.size()) return false;
  const std::size_t end = std::min(seam::input.find('\n', seam::read_at), seam::input.size());
  s = seam::input.substr(seam::read_at, std::min(end - seam::read_at, keep));
  seam::read_at = end + 1;
  return true;
}

int Run_command(const std::string& line) {
  if (line == "pause") {
    seam::out += std::string(PAUSE_PROMPT) + "\n";
    return 0;
  }
  if (line == "cls" || line.starts_with("title ")) return 0;
  seam::commands.push_back(line);
  for (const auto& [prefix, status] : seam::answers)
    if (line.starts_with(prefix)) return status;
  return 0;
}

void Sleep_micros(long long micros) {
  seam::sleeps.push_back(micros);
  seam::clock += micros;
}

long long Now_micros() { return seam::clock; }

void Sleep_until_micros(long long deadline) {
  if (deadline > seam::clock) Sleep_micros(deadline - seam::clock);
  if (seam::woken < seam::late.size()) seam::clock += seam::late[seam::woken++];
}

bool To_path(const std::string& utf8, std::filesystem::path& path) {
  if (utf8.find('\0') != std::string::npos) return false;
  path = utf8;
  return true;
}

// Marked, so that a row sees which path went to a new window.
std::string Path_for_new_window(const std::string& path) { return "<window>" + path; }

std::string Folder_notice() { return seam::notice; }

bool Path_exists(const std::string& path) { return seam::paths.contains(path); }

bool Is_regular_file(const std::string& path) {
  const auto found = seam::paths.find(path);
  return found != seam::paths.end() && found->second != seam::FOLDER;
}

bool Replace_file(const std::string& path, const std::string& bytes, std::string& why) {
  if (seam::save_fails) {
    why = seam::save_why;
    return false;
  }
  seam::saved[path] = bytes;
  return true;
}

void Mark_hidden(const std::string& path) { seam::hidden.push_back(path); }
