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

// The full path of `path`, and where its file name begins in it (0 when
// there is none); any length.
std::wstring Full_path(const std::wstring& path, std::size_t& name_at) {
  std::wstring full(MAX_PATH, L'\0');
  wchar_t* name = nullptr;
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full.data(), &name);
  if (n >= MAX_PATH) {
    full.resize(n);
    n = GetFullPathNameW(path.c_str(), n, full.data(), &name);
  }
  full.resize(n < full.size() ? n : 0);
  name_at = name != nullptr && !full.empty() ? static_cast<std::size_t>(name - full.data()) : 0;
  return full;
}

// Removes what a save killed midway (the power, the task manager) left
// beside `target`: our hidden "NAME.<digits>.tmp" files, once a minute old,
// so that another Tavrel's save under way keeps its own.
void Remove_stale_temporaries(const std::wstring& target) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((target + L".*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  const auto closing = Scoped{[search] { FindClose(search); }};
  const std::size_t slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
  const std::wstring base = target.substr(folder.size()) + L".";
  FILETIME now_time;
  GetSystemTimeAsFileTime(&now_time);
  const auto ticks = [](FILETIME t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  do {
    const std::wstring name = found.cFileName;
    const std::wstring middle = name.size() > base.size() + 4
                                    ? name.substr(base.size(), name.size() - base.size() - 4)
                                    : L"";
    if (!name.starts_with(base) || !name.ends_with(L".tmp") || middle.empty() ||
        middle.find_first_not_of(L"0123456789") != std::wstring::npos ||
        !(found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        ticks(found.ftLastWriteTime) + 60ULL * 10'000'000 > ticks(now_time))
      continue;
    DeleteFileW((folder + name).c_str());
  } while (FindNextFileW(search, &found));
}

}  // namespace

bool Replace_file(const std::string& path, const std::string& bytes, std::string& why) {
  std::wstring target;
  if (!Widen(path, target) || bytes.size() > MAXDWORD) return false;
  // What failed, named: the folder where the temporary file cannot be made
  // (one under C:\Program Files, most often), the data file itself where it
  // cannot be replaced (read-only, held open, a folder in its place).
  std::size_t name_at = 0;
  const std::wstring full = Full_path(target, name_at);
  const auto fail = [&](DWORD error) {
    std::wstring folder = full.substr(0, name_at);
    if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    why = "无法写入文件夹“" + Narrow(folder) + "”：" + System_message(error);
    return false;
  };
  const auto fail_file = [&](DWORD error) {
    why = "无法替换文件“" + Narrow(full) + "”：" + System_message(error);
    return false;
  };
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !RemoveDirectoryW(target.c_str()))
    return fail_file(GetLastError());
  // No temporary file is left behind by Ctrl+C or the close button.
  const auto held = Holding_console_events();
  if (Console_ending()) return false;
  // A name nobody can foresee, created only where nothing stands yet.
  std::random_device random;
  std::wstring tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 16 && h == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = target + L"." + std::to_wstring(random()) + L".tmp";
    // Hidden from the start, like the file it becomes.
    h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && (error = GetLastError()) != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) return fail(error);
  DWORD written = 0;
  bool ok = true;
  if (!bytes.empty() &&
      !WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
    ok = false, error = GetLastError();
  else if (written != bytes.size())  // a short write sets no error: the disk is full
    ok = false, error = ERROR_DISK_FULL;
  if (!FlushFileBuffers(h) && ok) ok = false, error = GetLastError();
  if (!CloseHandle(h) && ok) ok = false, error = GetLastError();
  // Unlike creating with truncation, a move may replace a hidden file.
  bool moved = false;
  if (ok && !(moved = Patiently([&] {
                return MoveFileExW(tmp.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
              })))
    error = GetLastError();
  if (moved) {
    Remove_stale_temporaries(target);
    return true;
  }
  Patiently([&] { return DeleteFileW(tmp.c_str()) != 0; });
  return ok ? fail_file(error) : fail(error);
}

void Mark_hidden(const std::string& path) {
  std::wstring wide;
  if (Widen(path, wide)) SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN);
}
