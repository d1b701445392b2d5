#pragma once
// What a run shows the user, shared by every host of a run (the tray program, renvo-run):
// the phase captions and the texts of the run's message boxes.

#include <string>

namespace renvo {

// Every command that must wait for the end of a run refuses with this box.
inline constexpr char kRefusalCaption[] = "ミラーリング中";
inline constexpr char kRefusalText[] =
    "現在ミラーリング中です\r\n現在の操作は，作業が完了するまで受け付けられません";

enum class RunPhase { Prepare = 0, Check = 1, Mirror = 2, Delete = 3, History = 4 };

inline const char* phaseCaption(RunPhase phase)
{
    switch (phase) {
    case RunPhase::Prepare: return "準備しています...";
    case RunPhase::Check: return "ファイルをチェックしています...";
    case RunPhase::Mirror: return "ミラーリングしています...";
    case RunPhase::Delete: return "不要なファイルを削除しています...";
    case RunPhase::History: return "履歴を更新しています...";
    }
    return "";
}

inline constexpr char kCancelCaption[] = "ミラーリング中止";
inline constexpr char kCancelText[] =
    "キャンセルしました\r\n\r\n途中でミラーリングできなかったファイルが存在します\r\n近いうちに再実行して下さい";

inline constexpr char kOpenErrorCaption[] = "ファイルオープンエラー";
// causeText: the system's text for the error.
inline std::string openErrorText(const std::string& causeText)
{
    return "例外 EFOpenError が発生しました\r\n原因> " + causeText +
           "\r\n\r\n念のため Renvo を再起動後，再度実行して下さい";
}

inline constexpr char kLogWriteErrorCaption[] = "ログファイル書き込みエラー";
inline std::string logWriteErrorText(const std::string& path, const std::string& causeText)
{
    return "ログファイルに書き込めませんでした\r\n" + path + "\r\n原因> " + causeText +
           "\r\n\r\n環境設定でログファイルの場所を確かめて下さい";
}

// The top folder was written by earlier runs and is not there now: the run writes nothing.
// lostMirror: the folder is there, but without the mirror (an empty mount point).
inline std::string topUnavailableText(const std::string& top, bool lostMirror)
{
    return "ミラーリング先トップフォルダ " + top +
           (lostMirror ? " に以前のミラーリング（Latest）がありません。" : " が見つかりません。") +
           "ドライブが接続されていないか，マウントされていない可能性があります。ミラーリングは行いませんでした。"
           "ドライブを接続してから再度実行して下さい（ミラーリングを最初からやり直す場合は，"
           "このフォルダに Latest フォルダを作成して下さい）";
}

// Why an item's source was not read (the log's cause line).
inline constexpr char kSourceMissingText[] =
    "対象アドレスが見つかりません（ドライブが接続されていない可能性があります）。ミラーリング先はそのまま残しました";
inline constexpr char kSourceGoneKeptText[] = "対象アドレスが見つかりません。リストからは削除しませんでした";
inline constexpr char kSourceEmptyText[] =
    "対象フォルダが空です（ドライブが接続されていない可能性があります）。ミラーリング先はそのまま残しました";

inline constexpr char kStreamErrorCaption[] = "ストリームエラー";
inline constexpr char kTableSearchErrorText[] = "テーブルリードエラー：サーチ";
inline constexpr char kTableReadErrorText[] = "テーブルリードエラー：リード";

}  // namespace renvo
