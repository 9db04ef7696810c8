// orvane: the exact test that k category frequencies fit equal
// probabilities, by enumeration of every outcome with the observed total.
#include "cli/run.h"
#include "kernel/resultfile.h"
#include "kernel/report.h"
#include "kernel/startup.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

int main(int argc, char** argv) {
  // With arguments, the command-line mode; it must run before StartUp,
  // whose floating-point environment is the dialogue's alone.
  if (argc > 1) return cli::Run(cli::Program::kOrvane, argc, argv);
  StartUp();
  WriteOutcomeRows = true;
  if (AskCategoryCount() && AskFrequencies()) {
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
