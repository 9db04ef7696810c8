// kestrin: the exact test of a 2 x 2 table with fixed margins, by
// enumeration of every table with the observed row and column sums.
#include "cli/run.h"
#include "kernel/report.h"
#include "kernel/resultfile.h"
#include "kernel/startup.h"
#include "kernel/textstream.h"
#include "kestrin/fourfold.h"

int main(int argc, char** argv) {
  // With arguments, the command-line mode; it must run before StartUp,
  // whose floating-point environment is the dialogue's alone.
  if (argc > 1) return cli::Run(cli::Program::kKestrin, argc, argv);
  StartUp();
  WriteOutcomeRows = true;
  if (AskTable()) {
    WriteLineEnd(ConsoleOutput);
    IoCheck();
    if (ChooseResultFile(u"　ファイル名を入れて下さい =>  ") == FileChoice::kCreated) {
      Prepare();
      ComputeObservedStatistics();
      WriteOpeningBlocks();
      WriteProgressBanner();
      BeginOutcomeListing();
      EnumerateTables();
      EndOutcomeListing();
      CloseTextFile(ResultFile);
      IoCheck();
    }
  }
  SkipLine(ConsoleInput);
  IoCheck();
  EndRun();
}
