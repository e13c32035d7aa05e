// The UTF-8 hold-back of Windows console output, fed in pieces: only whole
// characters go out, nothing is lost or held for ever, and valid text is
// held back only while a character is unfinished.
#include "fuzz.h"
#include "platform/common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string pending, shown, given;
  // Each piece: a length byte, then that many bytes (as Print gives one byte
  // at a time, and headings whole lines).
  for (std::size_t i = 0; i < size;) {
    const std::size_t n = std::min<std::size_t>(data[i] % 8, size - i - 1);
    const std::string piece(reinterpret_cast<const char*>(data) + i + 1, n);
    i += 1 + n;
    given += piece;
    pending += piece;
    const std::size_t whole = Whole_characters(pending);
    CHECK(whole <= pending.size());
    shown += pending.substr(0, whole);
    pending.erase(0, whole);
    CHECK(pending.size() < 4);  // at most an unfinished character waits
    if (!pending.empty()) {
      const auto lead = static_cast<unsigned char>(pending[0]);
      CHECK(lead >= 0xC0 && lead < 0xF8);
      for (std::size_t k = 1; k < pending.size(); ++k)
        CHECK((static_cast<unsigned char>(pending[k]) & 0xC0) == 0x80);
    }
    CHECK(shown + pending == given);
  }
  return 0;
}
