// orvane: the exact test that k category frequencies fit equal
// probabilities, by enumeration of every outcome with the observed total.
#include "kernel/resultfile.h"
#include "kernel/report.h"
#include "kernel/startup.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

int main() {
  StartUp();
  WriteOutcomeRows = true;
  if (AskCategoryCount()) {
    AskFrequencies();
    WriteLineEnd(ConsoleOutput);
    IoCheck();
    if (ChooseResultFile(u"　　結果を出力するファイル名を入力して下さい:　") == FileChoice::kCreated) {
      Prepare();
      ComputeObservedStatistics();
      WriteOpeningBlocks();
      WriteProgressBanner();
      if (OutcomeCount() < kOutcomeLimit) BeginOutcomeListing();
      EnumerateAll();
      if (SolutionCount < kOutcomeLimit) EndOutcomeListing();
      CloseTextFile(ResultFile);
      IoCheck();
    }
  }
  if (SolutionCount >= kOutcomeLimit) {
    ErrorPause(u"too many solutions !");
  } else {
    SkipLine(ConsoleInput);
    IoCheck();
  }
  EndRun();
}
