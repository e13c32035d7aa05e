// The data file: any bytes load without harm into values without a line
// feed; and three values without a line feed come back from save and load.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fuzz.h"
#include "settings/store.h"

namespace {

// One working directory for the whole run.
const bool in_temp_dir = [] {
  Enter_temp_dir();
  return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)in_temp_dir;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream("tavrel_data.qv", std::ios::binary | std::ios::trunc) << bytes;
  COM_PATH = CON_PATH = COM_SETTINGS = "";
  Load_settings();
  for (const std::string* v : {&COM_PATH, &CON_PATH, &COM_SETTINGS})
    CHECK(v->find('\n') == std::string::npos);

  std::vector<std::string> values = Pieces(data, size, '\n', 3);
  COM_PATH = values[0];
  CON_PATH = values[1];
  COM_SETTINGS = values[2];
  CHECK(Save_settings());
  COM_PATH = CON_PATH = COM_SETTINGS = "";  // as at start-up
  Load_settings();
  CHECK(COM_PATH == values[0] && CON_PATH == values[1] && COM_SETTINGS == values[2]);
  return 0;
}
