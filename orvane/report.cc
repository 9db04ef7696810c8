#include "kernel/report.h"

#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

namespace {

void WriteEmptyLine(TextStream& stream) {
  WriteLineEnd(stream);
  IoCheck();
}

// The observed frequencies, each followed by a comma, then their total.
void WriteObservedLine(TextStream& stream) {
  for (std::int32_t i = 1; i <= k; ++i) {
    WriteInteger(stream, x[i], 8);
    WriteText(stream, u",");
    IoCheck();
  }
  WriteInteger(stream, T0, 8);
  WriteLineEnd(stream);
  IoCheck();
}

void WriteExpectedLine(TextStream& stream) {
  for (std::int32_t i = 1; i <= k; ++i) {
    WriteReal(stream, static_cast<long double>(e[i]), 8, 1);
    WriteText(stream, u",");
    IoCheck();
  }
  WriteReal(stream, ExpectedSum, 8, 2);
  WriteLineEnd(stream);
  IoCheck();
}

}  // namespace

void WriteOpeningBlocks() {
  WriteEmptyLine(ResultFile);
  WriteObservedLine(ResultFile);
  WriteEmptyLine(ResultFile);
  WriteExpectedLine(ResultFile);
  WriteEmptyLine(ResultFile);
  WriteText(ResultFile, u"Chi2_0,");
  WriteReal(ResultFile, Chi2_0, 10, 5);
  WriteText(ResultFile, u",LR_0,");
  WriteReal(ResultFile, LR_0, 13, 10);
  WriteText(ResultFile, u",-2Log(LR_0),");
  WriteReal(ResultFile, MinusTwoLogLR_0, 10, 5);
  WriteLineEnd(ResultFile);
  IoCheck();
  WriteEmptyLine(ResultFile);

  WriteEmptyLine(ConsoleOutput);
  WriteObservedLine(ConsoleOutput);
  WriteEmptyLine(ConsoleOutput);
  WriteExpectedLine(ConsoleOutput);
}

void WriteListingAndSummary() {
  WriteCountLine(SolutionCount);
  for (std::int32_t i = 1; i <= k; ++i) {
    WriteText(ResultFile, u"x");
    WriteInteger(ResultFile, i, 0);
    WriteText(ResultFile, u",");
  }
  WriteText(ResultFile, u",p,chi2,chi2>chi2_0,LR<LR_0,LR");
  WriteLineEnd(ResultFile);
  IoCheck();

  PValueSums sums{};
  for (std::int32_t c = 1; c <= SolutionCount; ++c) {
    Extremeness chi2_class = ClassifyChiSquare(SolutionChi2[c], Chi2_0);
    Extremeness lr_class = ClassifyLikelihoodRatio(SolutionLR[c], LR_0);
    if (WriteOutcomeRows) {
      for (std::int32_t i = 0; i < k; ++i) {
        WriteInteger(ResultFile, SolutionFrequencies[c][i], 8);
        WriteText(ResultFile, u",");
        IoCheck();
      }
      WriteOutcomeTail(SolutionProbability[c], SolutionChi2[c], chi2_class, lr_class, SolutionLR[c]);
    }
    AddOutcome(sums, chi2_class, lr_class, SolutionProbability[c]);
  }
  WriteSummary(SolutionCount, FormPValues(sums));
}
