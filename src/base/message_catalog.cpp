// The rows of the message table, grouped by the stage that says them.
#include "base/message_catalog.h"

#include <array>

namespace tallow {
namespace {

constexpr auto kRows = std::to_array<MessageRow>({
    // The driver.
    {"ソースファイルが複数指定されています", "more than one source file given"},
    {"プリプロセスエラー", "preprocessing failed: nothing was compiled"},
    {"コンパイルエラー", "compile failed: no KRB file was written"},
    {"%d 個の警告がありました", "%d warning(s)"},
    {"[ %s のコンパイル結果 ]", "[ Result of compiling %s ]"},
    {"[ このKRBファイルに関する詳細情報 ]", "[ Steps of each part ]"},
    {"KRBファイルを生成しました(%s / %d bytes )", "Wrote %s (%d bytes)"},
    {"ファイル出力エラー", "cannot write the KRB file"},
    {"メモリが足りません", "out of memory"},
    {"中間ファイル %s を残しました", "kept the intermediate file %s"},
    // The preprocessor.
    {"ネストが深すぎます", "nested too deeply (at most 8 files open, 64 macro levels)"},
    {"ファイル %s が開けません", "cannot open the file %s"},
    {"引数が多すぎます", "unexpected text after the argument"},
    {"コマンドが識別できません", "unknown # directive"},
    {"音色開始番号が不正です", "the first tone number (.vstart) is not a number from 0 to 255"},
    {"マクロの定義が出来ません", "the macro cannot be defined"},
    {"音色ファイル名指定前に音色定義は出来ません",
     "a tone is defined before the bank is named: write .fmbfile NAME above it"},
    {"#ELSEに対応する#IFDEFが見つかりません", "#else without #ifdef"},
    {"%d行の#IFDEFに対応する#ENDIFがありません", "the #ifdef of line %d has no #endif"},
    {"１行が%d文字を越えました", "the expanded line is longer than %d bytes"},
    {"マクロ %s に対する引数が足りません", "too few arguments for the macro %s"},
    {"マクロ %s に対する引数が多いか、括弧が閉じていません",
     "too many arguments for the macro %s, or its ')' is missing"},
    {"マクロ %s は定義されていません", "the macro %s is not defined"},
    {"引数は省略できません", "an argument cannot be left out"},
    {"マクロ名が取得できません", "the macro has no name"},
    {"マクロ %s は既に定義されています", "the macro %s is defined already"},
    {"括弧'{'が足りません", "'}' without '{'"},
    {"括弧'}'が足りません", "'{' without '}'"},
    {"ループ数の指定が不正です", "the count after '}' must be 1 to 99999999"},
    // The tone compiler.
    {"指定のFMBファイルは存在しません", "the FMB file named does not exist"},
    {"音色名は\"で囲って下さい", "write the tone name in double quotes"},
    {"\"記号が足りません", "the closing double quote is missing"},
    {"音色名は%d文字までです", "a tone name has at most %d characters"},
    {"パラメータの指定が不正です", "the parameter is not valid"},
    {"パラメータには数値を指定してください", "a tone parameter must be a number"},
    {"引数が不正です", "the argument is not valid"},
    {"音色パラメータの値(%d)が", "the tone parameter value %d "},
    {"上限(%d)を超えています", "is above its largest value %d"},
    {"音色番号が小さすぎます", "the tone number is below the first tone number (.vstart)"},
    {"音色番号が大きすぎます", "the tone number is above 127 + the first tone number"},
    {"音色設定中に音色パラメータ順設定は出来ません",
     "the parameter order cannot change while a tone is being defined"},
    {"ＦＭ音色パラメータが多すぎます。", "too many FM tone parameters."},
    {"音色パラメータ順設定が完了する前に音色設定はできません",
     "a tone is defined before its parameter order line (#@ ... *) is complete"},
    {"音色パラメータ順設定が完了していません", "the parameter order line is not complete"},
    {"音色定義が完了していません", "the tone definition is not complete"},
    {"%d個の音色を定義しました", "%d tone(s) defined"},
    {"FMBファイル書き出しに失敗しました。", "cannot write the FMB file."},
    // The scanner and the diagnostics.
    {"ファイル読込エラー", "cannot read the intermediate file"},
    {"文字列が長すぎます。", "the word is too long"},
    {"文字列が長すぎます", "the text is too long"},
    {"コマンドが見つからない", "a command was expected here"},
    {"数値が大きすぎます。", "the number has too many digits"},
    {"数値が大きすぎます", "the number has too many digits"},
    {"パラメータには数値を指定して下さい", "a number was expected here"},
    {"パラメタには数値を指定して下さい", "a number was expected here"},
    {"パラメータが範囲外です", "the number is out of range"},
    {"EOFを検出しました", "the file ended where a number was expected"},
    {"数値が所定の範囲を越えています", "the number is out of range"},
    {"パラメータ区切りがありません", "a ',' was expected between the arguments"},
    {"警告数が多すぎるため、警告表示は中断されました",
     "too many warnings: the rest are counted but not shown"},
    // The compiler.
    {"[ MML to KRB Compiler 'TC' version 3.19w(KR3対応) ]",
     "[ MML to KRB Compiler 'TC' version 3.19w (KR3) ]"},
    {"最適化に失敗しました", "the optimiser failed"},
    {"未定義のコマンドです", "unknown command"},
    {"FMB ファイルが参照できません", "cannot read the FMB file named by .fmbfile"},
    {"MML定義が多すぎます", "too many .MML definitions (at most 256)"},
    {"エンベロープ用MML定義が多すぎます", "too many .EML definitions (at most 64)"},
    {"コマンド定義が多すぎます", "too many .CMD definitions (at most 64)"},
    // The MML commands.
    {"ＭＭＬが解読できません", "unknown MML command"},
    {"FM音源以外では使用できないコマンドです", "this command works on FM parts only"},
    {"このテンポに対応するタイマ値を設定できません", "no timer value gives this tempo"},
    {"KR2形式KRBファイルでは使用できないコマンドです",
     "this command needs the KR3 format (.krbtype 3)"},
    {"FM音源チャンネル3以外で使用できないコマンドです", "this command works on FM3 only"},
    {"使用できないコマンドがあります", "a command here cannot be used in this place"},
    {"音程の指定がありません", "no note was given"},
    {"同時キーオンはポリモードでのみ使用できます", "simultaneous key-on works in poly mode only"},
    {"目標音階が見つかりません", "the portamento has no target note"},
    {"音程が範囲外です", "the note is out of range (pitch 0..127, o0 c to o10 g)"},
    {"指定のベース音程からではポルタメント量が大きすぎます",
     "the portamento is too wide from this base note"},
    {"BEEPパートでは使えません", "this command does not work on the BEEP part"},
    {"オクターブが上限を超えました", "the octave went above 8"},
    {"オクターブが下限を超えました", "the octave went below 0"},
    {"ピッチベンド限界を越えました", "the detune went beyond -32768..32767"},
    {"処理できない音長です", "the length is not a whole number of steps (see .zenlen)"},
    {"音長が長すぎます", "the length is longer than 65535 steps"},
    {"調号が見つかりません", "no key signature follows"},
    {"タイコマンドは音符の直後で指定して下さい", "a tie '&' must follow a note"},
    {"連結する音長が見つかりません", "no length to join"},
    {"開始音程が見つかりません", "the portamento has no start note"},
    {"音量が上限を超えました", "the volume level went above 15"},
    {"音量が下限を超えました", "the volume level went below 0"},
    {"音量が上限を越えました", "the volume went above 127"},
    {"音量が下限を越えました", "the volume went below 0"},
    {"ループ開始がありません", "a loop end or ':' without a loop start"},
    {"非展開ループは途中脱出できません", "an @p loop can be left early in KR3 output only"},
    {"ループのネストが深すぎます", "loops nested too deeply (16, of them 8 @p loops)"},
    {"展開ループ脱出時にはループ回数の指定はできません", "the ':' of a '(' loop takes no count"},
    {"非展開ループを先に閉じる必要があります", "close the @p loop (with @j) first"},
    {"ループさせる音階MMLがありません", "the loop is empty: nothing to repeat"},
    {"展開ループを先に閉じる必要があります", "close the '(' loop (with ')') first"},
    {"トラック %d のループが閉じていません", "part %d: a '(' is not closed"},
    {"ループポイントは定義済です", "the envelope's loop point is set already"},
    {"ループ内に音長のないエンベロープです", "the envelope loops without a length"},
    {"未定義のエンベロープＭＭＬです", "unknown envelope command"},
    {"未定義のエンベロープ", "the envelope is not defined"},
});

const MessageRow* find(std::string_view rules) {
  for (const MessageRow& row : kRows) {
    if (row.rules == rules) return &row;
  }
  return nullptr;
}

}  // namespace

std::string translate(Language language, std::string_view rules) {
  if (language == Language::kJapanese) return std::string(rules);
  size_t body = rules.find_last_not_of('\n') + 1;
  const MessageRow* row = find(rules.substr(0, body));
  if (row == nullptr) return std::string(rules);
  return std::string(row->english) + std::string(rules.substr(body));
}

std::string translate(Language language, const Said& said) {
  if (language == Language::kEnglish && !said.english.empty()) return said.english;
  return translate(language, said.rules);
}

std::span<const MessageRow> messageTable() { return kRows; }

}  // namespace tallow
