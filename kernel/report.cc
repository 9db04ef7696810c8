#include "kernel/report.h"

#include "kernel/textstream.h"

namespace {

const char16_t* const kResultLabels[4] = {u"p (chi2),", u"mid-p (chi2),", u"p (LR),", u"mid-p (LR),"};
// 13 characters each, so that the values line up on the console.
const char16_t* const kConsoleLabels[4] = {u"p (chi2):    ", u"mid-p (chi2):", u"p (LR):      ",
                                           u"mid-p (LR):  "};

void WriteEmptyLine(TextStream& stream) {
  WriteLineEnd(stream);
  IoCheck();
}

void WriteResults(TextStream& stream, const char16_t* const labels[4], const PValues& results) {
  const long double values[4] = {results.p_chi2, results.mid_p_chi2, results.p_lr, results.mid_p_lr};
  for (int i = 0; i < 4; ++i) {
    WriteText(stream, labels[i]);
    WriteReal(stream, values[i], 10, 6);
    WriteLineEnd(stream);
    IoCheck();
  }
}

}  // namespace

void WriteProgressBanner() {
  WriteEmptyLine(ConsoleOutput);
  WriteText(ConsoleOutput, u"    --------------------------------------");
  WriteLineEnd(ConsoleOutput);
  IoCheck();
  WriteEmptyLine(ConsoleOutput);
  WriteText(ConsoleOutput, u" Now calulating ........ ");
  WriteLineEnd(ConsoleOutput);
  IoCheck();
  WriteEmptyLine(ConsoleOutput);
}

void WriteCountLine(std::int32_t solution_count) {
  WriteEmptyLine(ResultFile);
  WriteText(ResultFile, u"# of solutions,,");
  WriteInteger(ResultFile, solution_count, 32);
  WriteLineEnd(ResultFile);
  IoCheck();
  WriteEmptyLine(ResultFile);
}

void WriteOutcomeTail(long double probability, long double chi2, Extremeness chi2_class,
                      Extremeness lr_class, long double lr) {
  WriteText(ResultFile, u",");
  WriteReal(ResultFile, probability);
  IoCheck();
  WriteText(ResultFile, u",");
  WriteReal(ResultFile, chi2, 10, 4);
  IoCheck();
  WriteText(ResultFile, chi2_class == Extremeness::kBeyond ? u",*,"
                        : chi2_class == Extremeness::kTied ? u",=,"
                                                           : u",,");
  WriteText(ResultFile, lr_class == Extremeness::kBeyond ? u"*,"
                        : lr_class == Extremeness::kTied ? u"=,"
                                                         : u",");
  IoCheck();
  WriteReal(ResultFile, lr, 20, 17);
  WriteLineEnd(ResultFile);
  IoCheck();
}

void WriteSummary(std::int32_t solution_count, const PValues& results) {
  WriteEmptyLine(ResultFile);
  WriteResults(ResultFile, kResultLabels, results);
  WriteEmptyLine(ResultFile);

  WriteEmptyLine(ConsoleOutput);
  WriteText(ConsoleOutput, u"# of solutions: ");
  WriteInteger(ConsoleOutput, solution_count, 12);
  WriteLineEnd(ConsoleOutput);
  IoCheck();
  WriteEmptyLine(ConsoleOutput);
  WriteResults(ConsoleOutput, kConsoleLabels, results);
}
