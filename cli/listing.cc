#include "cli/listing.h"

#include <charconv>
#include <string>

namespace cli {
namespace {

// Room for one number and its comma: at most 17 digits, a sign, a point
// and "e-308", or ten digits of a count.
constexpr std::size_t kFieldRoom = 32;

char* PutReal(char* at, double value) {
  return std::to_chars(at, at + kFieldRoom, value).ptr;
}

char* PutMark(char* at, engine::Mark mark) {
  *at++ = ',';
  if (mark == engine::Mark::kBeyond) *at++ = '>';
  if (mark == engine::Mark::kTied) *at++ = '=';
  return at;
}

}  // namespace

void WriteListingHeader(BufferedWriter& out, const ListingShape& shape) {
  std::string header;
  if (shape.rows > 0) {
    const bool separated = shape.rows > 9 || shape.columns > 9;
    for (std::uint32_t i = 1; i <= shape.rows; ++i) {
      for (std::uint32_t j = 1; j <= shape.columns; ++j) {
        if (i > 1 || j > 1) header += ',';
        header += 'n' + std::to_string(i) + (separated ? "_" : "") + std::to_string(j);
      }
    }
  } else if (shape.fourfold) {
    header = "n11,n12,n21,n22";
  } else {
    for (std::size_t i = 1; i <= shape.k; ++i) {
      if (i > 1) header += ',';
      header += 'x' + std::to_string(i);
    }
  }
  header += ",probability,chi_square,likelihood_ratio,chi_square_mark,likelihood_ratio_mark,probability_mark";
  if (shape.n11_mark) header += ",n11_mark";
  header += '\n';
  out.Append(header);
}

void WriteListingRow(BufferedWriter& out, const ListingShape& shape, const engine::OutcomeRow& row) {
  char* at = out.Room(kFieldRoom);
  bool first = true;
  for (std::uint32_t count : row.counts) {
    if (!first) {
      out.Advance(at);
      at = out.Room(kFieldRoom);
      *at++ = ',';
    }
    first = false;
    at = std::to_chars(at, at + kFieldRoom, count).ptr;
  }
  out.Advance(at);
  at = out.Room(4 * kFieldRoom);
  *at++ = ',';
  at = PutReal(at, row.probability);
  *at++ = ',';
  at = PutReal(at, row.chi_square);
  *at++ = ',';
  at = PutReal(at, row.likelihood_ratio);
  at = PutMark(at, row.marks[static_cast<int>(engine::Ordering::kChiSquare)]);
  at = PutMark(at, row.marks[static_cast<int>(engine::Ordering::kLikelihoodRatio)]);
  at = PutMark(at, row.marks[static_cast<int>(engine::Ordering::kProbability)]);
  if (shape.n11_mark) at = PutMark(at, row.marks[static_cast<int>(engine::Ordering::kN11)]);
  *at++ = '\n';
  out.Advance(at);
}

}  // namespace cli
