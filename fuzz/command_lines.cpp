// The stand-in's field splitter and the three command lines: for values
// without double quotes or backslashes, the fields of each line are exactly
// its pieces.
#include <algorithm>

#include "build/run.h"
#include "cmd_standin/cmd_standin.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Any line splits without harm; only a backslash makes a quote literal,
  // except in the program's name, which keeps a quote after its start.
  const std::string line(reinterpret_cast<const char*>(data), size);
  if (line.find('\\') == std::string::npos) {
    const std::vector<std::string> fields = Split_fields(line);
    for (std::size_t i = 1; i < fields.size(); ++i) CHECK(fields[i].find('"') == std::string::npos);
    if (!fields.empty()) CHECK(fields[0].empty() || fields[0][0] != '"');
  }

  std::vector<std::string> v = Pieces(data, size, '\n', 5);
  for (std::string& s : v)
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '"' || c == '\\'; }),
            s.end());
  const std::string &com = v[0], &opts = v[1], &epath = v[2], &fpath = v[3], &con = v[4];

  // cmd /c and its one pair of quotes, as the stand-in takes them off.
  std::string t = Compile_line(com, opts, epath, fpath);
  CHECK(t.rfind("cmd /c \"", 0) == 0 && t.back() == '"');
  std::vector<std::string> want{com};
  for (const std::string& o : Split_fields(opts)) want.push_back(o);
  want.insert(want.end(), {"-g", "-o", epath, fpath});
  CHECK(Split_fields(t.substr(8, t.size() - 9)) == want);

  const std::string s = Start_line(fpath, epath);
  CHECK(s.rfind("start ", 0) == 0);
  CHECK(Split_fields(s.substr(6)) == (std::vector<std::string>{fpath, epath}));

  const std::string p = Pauser_line(con, epath);
  // A pauser path with a blank stays one field.
  std::vector<std::string> pauser{""};
  if (con.find_first_of(" \t") != std::string::npos)
    pauser.push_back(con);
  else
    for (const std::string& c : Split_fields(con)) pauser.push_back(c);
  pauser.push_back(epath);
  CHECK(Split_fields(p.substr(6)) == pauser);
  return 0;
}
