// The program's texts as a transcript shows them, for the in-process rows
// and the end-to-end ones alike.
#pragma once

#include <string>

inline const std::string MENU_RULE = std::string(100, '-') + "\n";
inline const std::string MENU =
    std::string(43, ' ') + "C++ Tavrel\n" + MENU_RULE + "1. 运行代码\n2. 设置\n3. 保存并退出\n\n";
inline const std::string SETTINGS_PAGE =
    std::string(39, ' ') + "C++ Tavrel -- 设置\n" + MENU_RULE +
    "1. 修改编译器（g++.exe）路径\n2. 修改 ConsolePauser 路径\n"
    "3. 修改编译选项\n4. 程序信息\n5. 返回\n\n";
inline const std::string BAD = "输入不合法，请重新输入。\n";
inline const std::string BYE = "将在 3s 内退出……\n";
inline const std::string UNSAVED = "保存设置失败！\n";
inline const std::string PAUSE = "请按任意键继续. . .\n";
inline const std::string INFO =
    "作者：Tavrel 开发组\n介绍：超轻量 C++ Tavrel\n版本：Alpha 1.0\n"
    "发布时间：2025/10/3\n\n" +
    PAUSE;
inline const char* const DATA = "tavrel_data.qv";

// The run-code operation's texts.
inline const std::string ASK = "请输入 C++ 文件的完整路径：\n";
inline const std::string INVALID = "路径无效或文件不合法！请重新输入。\n";
inline const std::string NO_CC = "编译器路径无效！请重新设置。\n\n" + PAUSE;
inline const std::string AUTO = "未找到对应程序的 exe 文件，自动为你编译。\n正在编译……\n";
inline const std::string ASK_COMPILE = "是否需要编译？（0/1）\n";
inline const std::string COMPILING = "正在编译……\n";
inline const std::string SKIP_COMPILE = "跳过编译。\n\n";
inline const std::string FAILED = "编译失败！\n\n" + PAUSE;
inline const std::string COMPILED = "编译成功！\n\n";
inline const std::string ASK_RUN = "是否需要运行？（0/1）\n";
inline const std::string SKIP_RUN = "跳过运行。\n\n" + PAUSE;
inline const std::string DIRECT = "ConsolePauser 路径无效。即将直接启动程序。\n";
inline const std::string VIA = "正在通过 ConsolePauser 启动程序……\n";
inline const std::string STARTED = "启动成功！\n\n" + PAUSE;
// What Wine's start says before it fails stands where the placeholder is.
inline const std::string NOT_STARTED = "{START_ERROR}启动失败！\n\n" + PAUSE;

// An editor's page for a setting showing `shown`, then its pause.
inline std::string Edited(const std::string& what, const std::string& shown) {
  return "当前" + what + "：" + shown + "\n请输入新" + what + "：\n设置成功！\n\n" + PAUSE;
}
inline std::string Com(const std::string& shown) { return Edited("编译器路径", shown); }
inline std::string Con(const std::string& shown) { return Edited(" ConsolePauser 路径", shown); }
inline std::string Opts(const std::string& shown) { return Edited("编译选项", shown); }
