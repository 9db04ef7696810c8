#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

namespace {

void WriteLine(std::u16string_view text) {
  WriteText(ConsoleOutput, text);
  WriteLineEnd(ConsoleOutput);
  IoCheck();
}

std::int32_t ReadAnswer() {
  std::int32_t value = ReadInteger(ConsoleInput);
  SkipLine(ConsoleInput);
  IoCheck();
  return value;
}

}  // namespace

bool AskCategoryCount() {
  WriteLine(u"　このプログラムは適合度の一様性の正確検定を行います。");
  WriteLine(u"");
  WriteLine(u"　　制限事項：カテゴリ数の上限       10 個");
  WriteLine(u"　　　　　　　可能解の個数　　　500,000 個");
  WriteLine(u"");
  WriteText(ConsoleOutput, u"　　カテゴリ数を半角数字で入力して下さい： ");
  EndWrite(ConsoleOutput);
  IoCheck();
  k = ReadAnswer();
  if (k > kMaxCategories) {
    ErrorPause(u" 　カテゴリ数が制限を超えています");
    return false;
  }
  if (k < 1) {
    ErrorPause(u" 　カテゴリ数は1以上を入力して下さい");
    return false;
  }
  return true;
}

bool AskFrequencies() {
  WriteLine(u"");
  WriteLine(u"　　各カテゴリの度数を順に入れて下さい。");
  WriteLine(u"");
  for (std::int32_t i = 1; i <= k; ++i) {
    WriteText(ConsoleOutput, u"　　");
    WriteInteger(ConsoleOutput, i, 0);
    WriteText(ConsoleOutput, u"番目の度数 =>  ");
    EndWrite(ConsoleOutput);
    IoCheck();
    x[i] = ReadAnswer();
    // A frequency is a count: a negative one is refused at once, before
    // the next is asked.
    if (x[i] < 0) {
      ErrorPause(u" 　度数は0以上を入力して下さい");
      return false;
    }
  }
  return true;
}
