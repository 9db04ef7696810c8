#include "kernel/resultfile.h"

#include <string>

#include "kernel/textstream.h"

bool WriteOutcomeRows = true;

void ErrorPause(std::u16string_view message) {
  WriteText(ConsoleOutput, u"Error!:  ");
  WriteText(ConsoleOutput, message);
  WriteLineEnd(ConsoleOutput);
  IoCheck();
  SkipLine(ConsoleInput);
  IoCheck();
}

namespace {

// A file of the chosen name is there: it is left untouched.
FileChoice Refuse() {
  WriteLineEnd(ConsoleOutput);
  IoCheck();
  WriteText(ConsoleOutput, u"Error : file already exists. Please try it again.");
  WriteLineEnd(ConsoleOutput);
  IoCheck();
  return FileChoice::kRefused;
}

}  // namespace

FileChoice ChooseResultFile(std::u16string_view prompt) {
  WriteText(ConsoleOutput, prompt);
  EndWrite(ConsoleOutput);
  IoCheck();
  std::u16string answer = ReadLineText(ConsoleInput);
  SkipLine(ConsoleInput);
  IoCheck();
  if (answer.empty()) {
    // The default file replaces an earlier one: no existence test.
    WriteOutcomeRows = false;
    CreateTextFile(u"log.csv");
  } else {
    // Created only where nothing has the name at that moment: a link to
    // nothing, or a file made since the test, is refused as well.
    std::u16string name = answer + u".csv";
    if (IsExistingFile(name) || !CreateNewTextFile(name)) return Refuse();
  }
  IoCheck();
  return FileChoice::kCreated;
}
