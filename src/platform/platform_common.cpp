#include <system_error>

#include "platform/common.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

// One status query; a failed query reads as "not found".
fs::file_type Query(const std::string& utf8) {
  fs::path p;
  if (!To_path(utf8, p)) return fs::file_type::not_found;
  std::error_code ec;
  const fs::file_status st = fs::status(p, ec);
  if (ec) return fs::file_type::not_found;
  return st.type();
}

}  // namespace

bool Path_exists(const std::string& path) {
  const fs::file_type t = Query(path);
  return t != fs::file_type::not_found && t != fs::file_type::none;
}

bool Is_regular_file(const std::string& path) { return Query(path) == fs::file_type::regular; }

bool Read_stream_line(std::streambuf& in, std::string& s, std::size_t keep, bool (*again)()) {
  s.clear();
  bool any = false;
  for (;;) {
    const int c = in.sbumpc();
    if (c == std::char_traits<char>::eof()) {
      if (again != nullptr && again()) continue;
      return any;
    }
    any = true;
    if (c == '\n') return true;
    if (s.size() < keep) s.push_back(static_cast<char>(c));
  }
}

std::size_t Whole_characters(const std::string& s) {
  for (std::size_t back = 1; back <= 4 && back <= s.size(); ++back) {
    const auto c = static_cast<unsigned char>(s[s.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte
    const std::size_t need = c >= 0xF8 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return need > back ? s.size() - back : s.size();
  }
  return s.size();
}
