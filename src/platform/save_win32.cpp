// The data file's save on Windows: a temporary file moved over the old one.
#include <windows.h>

#include <random>

#include "platform/platform.h"
#include "platform/win32.h"

namespace {

// Virus scanners and the indexer open a fresh file for a moment without
// letting it be moved or removed; build tools wait for them the same way.
template <class Step>
bool Patiently(Step step) {
  for (int tries = 0;; ++tries) {
    if (step()) return true;
    const DWORD error = GetLastError();
    if (tries == RETRIES || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
                             error != ERROR_LOCK_VIOLATION))
      return false;
    Sleep(RETRY_MS);
  }
}

}  // namespace

bool Replace_file(const std::string& path, const std::string& bytes) {
  std::wstring target;
  if (!Widen(path, target) || bytes.size() > MAXDWORD) return false;
  // No temporary file is left behind by Ctrl+C or the close button.
  const auto held = Holding_console_events();
  // A name nobody can foresee, created only where nothing stands yet.
  std::random_device random;
  std::wstring tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 16 && h == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = target + L"." + std::to_wstring(random()) + L".tmp";
    // Hidden from the start, like the file it becomes.
    h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  ok = FlushFileBuffers(h) && ok;
  ok = CloseHandle(h) && ok;
  // Unlike creating with truncation, a move may replace a hidden file.
  if (ok)
    ok = Patiently([&] {
      return MoveFileExW(tmp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
  if (!ok) Patiently([&] { return DeleteFileW(tmp.c_str()) != 0; });
  return ok;
}

void Mark_hidden(const std::string& path) {
  std::wstring wide;
  if (Widen(path, wide)) SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN);
}
