#include "kernel/report.h"

#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "kestrin/fourfold.h"

namespace {

void WriteEmptyLine(TextStream& stream) {
  WriteLineEnd(stream);
  IoCheck();
}

void WriteCell(TextStream& stream, std::int32_t value, std::u16string_view separator) {
  WriteInteger(stream, value, 0);
  WriteText(stream, separator);
  IoCheck();
}

void WriteExpected(TextStream& stream, long double value, std::int32_t decimals,
                   std::u16string_view separator) {
  WriteReal(stream, value, 8, decimals);
  WriteText(stream, separator);
  IoCheck();
}

}  // namespace

void WriteOpeningBlocks() {
  WriteEmptyLine(ResultFile);
  WriteCell(ResultFile, n11, u",");
  WriteCell(ResultFile, n12, u",");
  WriteCell(ResultFile, n21, u",");
  WriteCell(ResultFile, n22, u",,");
  WriteInteger(ResultFile, N, 0);
  WriteEmptyLine(ResultFile);
  WriteExpected(ResultFile, e11, 2, u",");
  WriteExpected(ResultFile, e12, 2, u",");
  WriteExpected(ResultFile, e21, 2, u",");
  WriteReal(ResultFile, e22, 8, 2);
  WriteEmptyLine(ResultFile);
  WriteEmptyLine(ResultFile);
  WriteText(ResultFile, u"Chi2_0,");
  WriteReal(ResultFile, Chi2_0, 10, 5);
  WriteText(ResultFile, u",LR_0,");
  WriteReal(ResultFile, LR_0, 13, 10);
  WriteText(ResultFile, u",-2Log(LR_0),");
  WriteReal(ResultFile, MinusTwoLogLR_0, 10, 5);
  WriteEmptyLine(ResultFile);
  WriteEmptyLine(ResultFile);

  // The console lines differ from the file's: a header with "sum", a single
  // comma before N, and ",," before e22 with the sum at the end.
  WriteEmptyLine(ConsoleOutput);
  WriteText(ConsoleOutput, u",,n11,n12,n21,n22,sum");
  WriteEmptyLine(ConsoleOutput);
  WriteCell(ConsoleOutput, n11, u",");
  WriteCell(ConsoleOutput, n12, u",");
  WriteCell(ConsoleOutput, n21, u",");
  WriteCell(ConsoleOutput, n22, u",");
  WriteInteger(ConsoleOutput, N, 0);
  WriteEmptyLine(ConsoleOutput);
  WriteExpected(ConsoleOutput, e11, 1, u",");
  WriteExpected(ConsoleOutput, e12, 1, u",");
  WriteExpected(ConsoleOutput, e21, 1, u",,");
  WriteExpected(ConsoleOutput, e22, 1, u",");
  WriteReal(ConsoleOutput, ExpectedSum, 8, 2);
  WriteEmptyLine(ConsoleOutput);
  WriteEmptyLine(ConsoleOutput);
  WriteText(ConsoleOutput, u"Chi2,");
  WriteReal(ConsoleOutput, Chi2_0, 10, 5);
  WriteText(ConsoleOutput, u",LR,");
  WriteReal(ConsoleOutput, LR_0, 10, 5);
  WriteEmptyLine(ConsoleOutput);
}

void WriteListingAndSummary() {
  WriteCountLine(SolutionCount);
  WriteText(ResultFile, u"n11,n12,n21,n22,,p,chi2,chi2>Chi2_0,LR<LR_0,LR");
  WriteEmptyLine(ResultFile);

  PValueSums sums{};
  for (std::int32_t c = 1; c <= SolutionCount; ++c) {
    Extremeness chi2_class = ClassifyChiSquare(SolutionChi2[c], Chi2_0);
    Extremeness lr_class = ClassifyLikelihoodRatio(SolutionLR[c], LR_0);
    if (WriteOutcomeRows) {
      for (int i = 0; i < 4; ++i) {
        WriteInteger(ResultFile, SolutionCells[c][i], 8);
        WriteText(ResultFile, u",");
        IoCheck();
      }
      WriteOutcomeTail(SolutionProbability[c], SolutionChi2[c], chi2_class, lr_class, SolutionLR[c]);
    }
    AddOutcome(sums, chi2_class, lr_class, SolutionProbability[c]);
  }
  WriteSummary(SolutionCount, FormPValues(sums));
}
