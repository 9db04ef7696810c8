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

FileChoice ChooseResultFile(std::u16string_view prompt) {
  WriteText(ConsoleOutput, prompt);
  EndWrite(ConsoleOutput);
  IoCheck();
  std::u16string answer = ReadLineText(ConsoleInput);
  SkipLine(ConsoleInput);
  IoCheck();
  std::u16string name;
  if (answer.empty()) {
    name = u"log.csv";
    WriteOutcomeRows = false;
  } else {
    name = answer + u".csv";
    if (IsExistingFile(name)) {
      WriteLineEnd(ConsoleOutput);
      IoCheck();
      WriteText(ConsoleOutput, u"Error : file already exists. Please try it again.");
      WriteLineEnd(ConsoleOutput);
      IoCheck();
      return FileChoice::kRefused;
    }
  }
  CreateTextFile(name);
  IoCheck();
  return FileChoice::kCreated;
}
