#include "kernel/report.h"

#include "kernel/listing.h"
#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "kestrin/fourfold.h"

namespace {

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
  // The file: an empty line, the cells with N after an empty field, the
  // expected values, and the statistics between empty lines.
  EndLine(ResultFile);
  WriteCell(ResultFile, n11, u",");
  WriteCell(ResultFile, n12, u",");
  WriteCell(ResultFile, n21, u",");
  WriteCell(ResultFile, n22, u",,");
  WriteInteger(ResultFile, N, 0);
  EndLine(ResultFile);
  WriteExpected(ResultFile, e11, 2, u",");
  WriteExpected(ResultFile, e12, 2, u",");
  WriteExpected(ResultFile, e21, 2, u",");
  WriteReal(ResultFile, e22, 8, 2);
  EndLine(ResultFile);
  EndLine(ResultFile);
  WriteStatisticsLine(Chi2_0, LR_0, MinusTwoLogLR_0);
  EndLine(ResultFile);

  // The console differs from the file: a header with "sum", a single comma
  // before N, ",," before e22 with the sum at the end, and the statistics
  // without -2 ln LR_0.
  EndLine(ConsoleOutput);
  WriteText(ConsoleOutput, u",,n11,n12,n21,n22,sum");
  EndLine(ConsoleOutput);
  WriteCell(ConsoleOutput, n11, u",");
  WriteCell(ConsoleOutput, n12, u",");
  WriteCell(ConsoleOutput, n21, u",");
  WriteCell(ConsoleOutput, n22, u",");
  WriteInteger(ConsoleOutput, N, 0);
  EndLine(ConsoleOutput);
  WriteExpected(ConsoleOutput, e11, 1, u",");
  WriteExpected(ConsoleOutput, e12, 1, u",");
  WriteExpected(ConsoleOutput, e21, 1, u",,");
  WriteExpected(ConsoleOutput, e22, 1, u",");
  WriteReal(ConsoleOutput, ExpectedSum, 8, 2);
  EndLine(ConsoleOutput);
  EndLine(ConsoleOutput);
  WriteText(ConsoleOutput, u"Chi2,");
  WriteReal(ConsoleOutput, Chi2_0, 10, 5);
  WriteText(ConsoleOutput, u",LR,");
  WriteReal(ConsoleOutput, LR_0, 10, 5);
  EndLine(ConsoleOutput);
}

namespace {

void WriteColumnHeader() {
  WriteText(ResultFile, u"n11,n12,n21,n22,,p,chi2,chi2>Chi2_0,LR<LR_0,LR");
  EndLine(ResultFile);
}

void Relist() {
  WriteColumnHeader();
  EnumerateTables();
}

}  // namespace

void BeginOutcomeListing() {
  // A count beyond 32 bits never comes to be shown: the first table of such
  // margins overflows.
  BeginListing(static_cast<std::int32_t>(TableCount()), Chi2_0, LR_0);
  WriteColumnHeader();
}

void EndOutcomeListing() { WriteSummary(SolutionCount, EndListing(Relist)); }
