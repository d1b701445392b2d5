#pragma once
// Texts of the messages that loading and saving the settings show, used exactly as written
// ("\r\n" is a line break in a message box).

#include <string>

namespace renvo {

inline constexpr char kFirstRunCaption[] = "作者からのお願い";
inline constexpr char kFirstRunText[] =
    "拙作 Renvo を御利用いただき，ありがとうございます\r\n\r\n"
    "このソフトウエアは，その性質上，十分に用語が分かっていないと，\r\n"
    "ファイルの損失等につながるおそれがあります\r\n"
    "分からない用語が出てきましたら，必ずヘルプをご確認願います";
inline constexpr char kRlfWarningCaption[] = "RLF 再設定のお願い";
inline constexpr char kRlfWarningText[] =
    "RLF は仕様が変わり，旧バージョンから異なる値を示すようになっています\r\n"
    "使い始める前に，再度設定して下さい";
inline constexpr char kHiveKeptAsideCaption[] = "設定ファイルの退避";

// The text telling that the hive file could not be read and now lies under keptAsPath.
std::string hiveKeptAsideText(const std::string& hivePath, const std::string& keptAsPath);

}  // namespace renvo
