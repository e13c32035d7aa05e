#include "settings/store.h"

#include <filesystem>
#include <fstream>

#include "platform/platform.h"

std::string COM_PATH;
std::string CON_PATH;
std::string COM_SETTINGS;

namespace {

namespace fs = std::filesystem;

const std::string SETTINGS = "tavrel_data.qv";

// The data file was there but could not be opened or wholly read: the empty
// settings that leaves are no reason to overwrite it.
bool unread = false;

// Binary reads with the CR dropped make CR LF and bare LF files load alike
// on every platform.
bool Read_data_line(std::istream& in, std::string& s) {
  if (!std::getline(in, s)) return false;
  if (!in.eof() && !s.empty() && s.back() == '\r') s.pop_back();
  return true;
}

}  // namespace

void Load_settings() {
  unread = false;
  fs::path p;
  if (!To_path(SETTINGS, p) || !Path_exists(SETTINGS) || !Is_regular_file(SETTINGS)) return;
  std::ifstream fin(p, std::ios::binary);
  if (!fin) {
    unread = true;
    return;
  }
  std::string lines[3];
  int n = 0;
  while (n < 3 && Read_data_line(fin, lines[n])) ++n;
  // A read error, or memory running out for a line (the stream turns
  // bad_alloc into badbit), loses nothing: the file counts as unread.
  if (fin.bad()) {
    unread = true;
    return;
  }
  if (n > 0) COM_PATH = std::move(lines[0]);
  if (n > 1) CON_PATH = std::move(lines[1]);
  if (n > 2) COM_SETTINGS = std::move(lines[2]);
}

std::string Settings_bytes() { return COM_PATH + "\r\n" + CON_PATH + "\r\n" + COM_SETTINGS; }

bool Save_settings(std::string* why) {
  if (unread && COM_PATH.empty() && CON_PATH.empty() && COM_SETTINGS.empty()) return true;
  std::string reason;
  if (!Replace_file(SETTINGS, Settings_bytes(), reason)) {
    if (why) *why = std::move(reason);
    return false;
  }
  Mark_hidden(SETTINGS);
  return true;
}
