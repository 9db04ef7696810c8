#include "kernel/report.h"

#include "kernel/resultfile.h"
#include "kernel/textstream.h"

namespace {

const char16_t* const kResultLabels[4] = {u"p (chi2),", u"mid-p (chi2),", u"p (LR),", u"mid-p (LR),"};
// 13 characters each, so that the values line up on the console.
const char16_t* const kConsoleLabels[4] = {u"p (chi2):    ", u"mid-p (chi2):", u"p (LR):      ",
                                           u"mid-p (LR):  "};

void WriteResults(TextStream& stream, const char16_t* const labels[4], const PValues& results) {
  const long double values[4] = {results.p_chi2, results.mid_p_chi2, results.p_lr, results.mid_p_lr};
  for (int i = 0; i < 4; ++i) {
    WriteText(stream, labels[i]);
    WriteReal(stream, values[i], 10, 6);
    EndLine(stream);
  }
}

}  // namespace

void EndLine(TextStream& stream) {
  WriteLineEnd(stream);
  IoCheck();
}

void WriteStatisticsLine(long double chi2_0, long double lr_0, long double minus_two_log_lr_0) {
  WriteText(ResultFile, u"Chi2_0,");
  WriteReal(ResultFile, chi2_0, 10, 5);
  WriteText(ResultFile, u",LR_0,");
  WriteReal(ResultFile, lr_0, 13, 10);
  WriteText(ResultFile, u",-2Log(LR_0),");
  WriteReal(ResultFile, minus_two_log_lr_0, 10, 5);
  EndLine(ResultFile);
}

void WriteProgressBanner() {
  EndLine(ConsoleOutput);
  WriteText(ConsoleOutput, u"    --------------------------------------");
  EndLine(ConsoleOutput);
  EndLine(ConsoleOutput);
  WriteText(ConsoleOutput, u" Now calulating ........ ");
  EndLine(ConsoleOutput);
  EndLine(ConsoleOutput);
}

void WriteCountLine(std::int32_t solution_count) {
  EndLine(ResultFile);
  WriteText(ResultFile, u"# of solutions,,");
  WriteInteger(ResultFile, solution_count, 32);
  EndLine(ResultFile);
  EndLine(ResultFile);
}

void WriteSummary(std::int32_t solution_count, const PValues& results) {
  EndLine(ResultFile);
  WriteResults(ResultFile, kResultLabels, results);
  EndLine(ResultFile);

  EndLine(ConsoleOutput);
  WriteText(ConsoleOutput, u"# of solutions: ");
  WriteInteger(ConsoleOutput, solution_count, 12);
  EndLine(ConsoleOutput);
  EndLine(ConsoleOutput);
  WriteResults(ConsoleOutput, kConsoleLabels, results);
}
