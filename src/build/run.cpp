#include "build/run.h"

#include <cstddef>

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

// Source selection. False when input ended before a path was accepted.
bool Choose(std::string& fpath) {
  Run_command("cls");
  Print("请输入 C++ 文件的完整路径：", 1);
  for (;;) {
    if (!Read_line(fpath, LONGEST_PATH + 1)) return false;
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
    Print("编译失败！", 2);
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
    std::string t;
    if (Is_file(CON_PATH)) {
      Print("正在通过 ConsolePauser 启动程序……", 1);
      // The launcher may start the pauser in another folder.
      t = Pauser_line(CON_PATH, Path_for_new_window(epath));
    } else {
      Print("ConsolePauser 路径无效。即将直接启动程序。", 1);
      t = Start_line(fpath, epath);
    }
    // The result is told truthfully: a start that failed is no success.
    Print(Run_command(t) == 0 ? "启动成功！" : "启动失败！", 1);
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

void Run() {
  std::string fpath;
  if (!Choose(fpath)) return;
  const std::string epath = Exe_path(fpath);
  if (Compile(fpath, epath)) Launch(fpath, epath);
}
