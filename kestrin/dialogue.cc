#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "kestrin/fourfold.h"

namespace {

void WriteLine(std::u16string_view text) {
  WriteText(ConsoleOutput, text);
  WriteLineEnd(ConsoleOutput);
  IoCheck();
}

}  // namespace

bool AskTable() {
  WriteLine(u"　このプログラムは４分表の正確検定を行います。");
  WriteLine(u"");
  WriteLine(u"　制限事項：度数の総和　　　1,000 個");
  WriteLine(u"");
  WriteText(ConsoleOutput, u"　n11, n12, n21, n22 をスペース区切りで入れて下さい -->> ");
  EndWrite(ConsoleOutput);
  IoCheck();
  // All four are read and the rest of the line discarded before a malformed
  // value is reported.
  n11 = ReadInteger(ConsoleInput);
  n12 = ReadInteger(ConsoleInput);
  n21 = ReadInteger(ConsoleInput);
  n22 = ReadInteger(ConsoleInput);
  SkipLine(ConsoleInput);
  IoCheck();
  // The cells are counts: a negative one is refused, once all four are in.
  if (n11 < 0 || n12 < 0 || n21 < 0 || n22 < 0) {
    ErrorPause(u" 　度数は0以上を入力して下さい");
    return false;
  }
  return true;
}
