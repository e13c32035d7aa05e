#include "build/run.h"

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "platform/platform.h"
#include "settings/store.h"
#include "shell/menu.h"
#include "shell/print.h"

namespace {

// No file of either system has a longer name (Windows: 32767 UTF-16 units
// of up to 3 bytes each); a longer line is refused without being kept.
constexpr std::size_t LONGEST_PATH = std::size_t{32767} * 3;

bool Is_file(const std::string& path) { return Path_exists(path) && Is_regular_file(path); }

void Pause() { Run_command("pause"); }

// Explorer's "copy as path" puts quotes around it; no Windows name holds one.
std::string Unquoted(const std::string& line) {
  if (line.size() >= 2 && line.front() == '"' && line.back() == '"' &&
      line.find('"', 1) == line.size() - 1)
    return line.substr(1, line.size() - 2);
  return line;
}

std::string Read_source(const std::string& fpath) {
  std::filesystem::path p;
  if (!To_path(fpath, p)) return {};
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether `s` holds a byte above ASCII and is UTF-8 throughout: no overlong
// forms, surrogates or values past U+10FFFF.
bool Is_utf8_text(const std::string& s) {
  bool wide = false;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    wide = true;
    const std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (n == 0 || b > 0xF4 || i + n > s.size()) return false;
    unsigned long c = b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = c << 6 | (t & 0x3F);
    }
    if ((n == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
        (n == 4 && (c < 0x10000 || c > 0x10FFFF)))
      return false;
    i += n;
  }
  return wide;
}

// Source selection. False when input ended before a path was accepted.
bool Choose(std::string& fpath) {
  Run_command("cls");
  Print("请输入 C++ 文件的完整路径：", 1);
  for (;;) {
    if (!Read_line(fpath, LONGEST_PATH + 1)) return false;
    fpath = Unquoted(fpath);
    if (Is_source(fpath)) break;
    Print("路径无效或文件不合法！请重新输入。", 1);
  }
  Write_out("\n");
  return true;
}

// Compile step. False when it ended the operation (after its pause).
bool Compile(const std::string& fpath, const std::string& epath) {
  if (!Is_file(COM_PATH)) {
    Print("编译器路径无效！请重新设置。", 2);
    Pause();
    return false;
  }
  Use_compiler_folder(COM_PATH);
  const std::string compiling = "正在编译……";
  if (!Is_file(epath)) {
    Print("未找到对应程序的 exe 文件，自动为你编译。", 1);
    Print(compiling, 1);
  } else {
    Print("是否需要编译？（0/1）", 1);
    if (Read_pint({0, 1}) == 1) {
      Print(compiling, 1);
    } else {
      Print("跳过编译。", 1);
      Write_out("\n");
      return true;
    }
  }
  if (Run_command(Compile_line(COM_PATH, COM_SETTINGS, epath, fpath)) != 0) {
    Print("编译失败！", 1);
    // Asked only after a failure: the old program's window still holds its
    // file, which the linker cannot replace (Windows; never so on Linux).
    if (Is_file(epath) && Held_by_a_program(epath))
      Print("程序“" + epath + "”仍在运行，无法覆盖：关闭它的窗口后再编译。", 1);
    Write_out("\n");
    Pause();
    return false;
  }
  Print("编译成功！", 1);
  Write_out("\n");
  return true;
}

// Launch step; always ends with the pause.
void Launch(const std::string& fpath, const std::string& epath) {
  Print("是否需要运行？（0/1）", 1);
  if (Read_pint({0, 1}) == 0) {
    Print("跳过运行。", 1);
  } else {
    std::string t, code_page;
    if (Is_file(CON_PATH)) {
      code_page = Output_code_page(COM_SETTINGS, Read_source(fpath));
      Print("正在通过 ConsolePauser 启动程序……", 1);
      // The launcher may start the pauser in another folder.
      t = Pauser_line(CON_PATH, Path_for_new_window(epath));
    } else {
      Print("ConsolePauser 路径无效。即将直接启动程序。", 1);
      t = Start_line(fpath, epath);
    }
    // Only the pauser's start inherits the code page; start copies the
    // environment before it returns.
    if (!code_page.empty()) Tell_output_code_page(code_page);
    const int started = Run_command(t);
    if (!code_page.empty()) Tell_output_code_page("");
    // The result is told truthfully: a start that failed is no success.
    Print(started == 0 ? "启动成功！" : "启动失败！", 1);
  }
  Write_out("\n");
  Pause();
}

}  // namespace

bool Is_source(const std::string& fpath) {
  if (fpath.size() <= 3 || fpath.size() > LONGEST_PATH) return false;
  // With no '.', npos + 1 is 0: the whole line.
  std::string ext = fpath.substr(fpath.rfind('.') + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return Is_file(fpath) && ext == "cpp";
}

std::string Exe_path(const std::string& fpath) {
  return fpath.substr(0, fpath.size() - 4) + ".exe";
}

std::string Compile_line(const std::string& com_path, const std::string& com_settings,
                         const std::string& epath, const std::string& fpath) {
  return "cmd /c \"\"" + com_path + "\" " + com_settings + " -g -o \"" + epath + "\" \"" + fpath +
         "\"\"";
}

std::string Start_line(const std::string& fpath, const std::string& epath) {
  return "start \"" + fpath + "\" \"" + epath + "\"";
}

std::string Pauser_line(const std::string& con_path, const std::string& epath) {
  // A path that passes the validity test must start: quoted where cmd would
  // split it or read a character specially, as typed everywhere else.
  const bool quote = con_path.find_first_of(" \t&()[]{}^=;!'+,`~") != std::string::npos;
  const std::string pauser = quote ? "\"" + con_path + "\"" : con_path;
  return "start \"\" " + pauser + " \"" + epath + "\"";
}

std::string Output_code_page(const std::string& com_settings, const std::string& source) {
  std::string charset;
  bool named = false;
  const std::string option = "-fexec-charset=";
  for (std::size_t at = com_settings.find(option); at != std::string::npos;
       at = com_settings.find(option, at + 1)) {
    if (at > 0 && std::string_view(" \t\"").find(com_settings[at - 1]) == std::string_view::npos)
      continue;
    const std::size_t from = at + option.size();
    charset = com_settings.substr(from, com_settings.find_first_of(" \t\"", from) - from);
    named = true;
  }
  if (!named) return Is_utf8_text(source) ? "65001" : "";
  for (char& c : charset)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (charset == "UTF-8" || charset == "UTF8") return "65001";
  if (charset == "GBK" || charset == "CP936" || charset == "GB2312") return "936";
  if (charset == "GB18030") return "54936";
  return "";
}

void Run() {
  std::string fpath;
  if (!Choose(fpath)) return;
  const std::string epath = Exe_path(fpath);
  if (Compile(fpath, epath)) Launch(fpath, epath);
}
