#include "kernel/report.h"

#include "kernel/listing.h"
#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

namespace {

// The observed frequencies, each followed by a comma, then their total.
void WriteObservedLine(TextStream& stream) {
  for (std::int32_t i = 1; i <= k; ++i) {
    WriteInteger(stream, x[i], 8);
    WriteText(stream, u",");
    IoCheck();
  }
  WriteInteger(stream, T0, 8);
  EndLine(stream);
}

void WriteExpectedLine(TextStream& stream) {
  for (std::int32_t i = 1; i <= k; ++i) {
    WriteReal(stream, static_cast<long double>(e[i]), 8, 1);
    WriteText(stream, u",");
    IoCheck();
  }
  WriteReal(stream, ExpectedSum, 8, 2);
  EndLine(stream);
}

}  // namespace

void WriteOpeningBlocks() {
  EndLine(ResultFile);
  WriteObservedLine(ResultFile);
  EndLine(ResultFile);
  WriteExpectedLine(ResultFile);
  EndLine(ResultFile);
  WriteStatisticsLine(Chi2_0, LR_0, MinusTwoLogLR_0);
  EndLine(ResultFile);

  EndLine(ConsoleOutput);
  WriteObservedLine(ConsoleOutput);
  EndLine(ConsoleOutput);
  WriteExpectedLine(ConsoleOutput);
}

namespace {

void WriteColumnHeader() {
  for (std::int32_t i = 1; i <= k; ++i) {
    WriteText(ResultFile, u"x");
    WriteInteger(ResultFile, i, 0);
    WriteText(ResultFile, u",");
  }
  WriteText(ResultFile, u",p,chi2,chi2>chi2_0,LR<LR_0,LR");
  EndLine(ResultFile);
}

void Relist() {
  WriteColumnHeader();
  EnumerateAgain();
}

}  // namespace

void BeginOutcomeListing() {
  BeginListing(OutcomeCount(), Chi2_0, LR_0);
  WriteColumnHeader();
}

void EndOutcomeListing() { WriteSummary(SolutionCount, EndListing(Relist)); }
