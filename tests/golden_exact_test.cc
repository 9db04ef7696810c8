// Every golden case whose run completes holds a result file; each such file
// must agree with exact arithmetic on the data of its own observed line:
// the golden bytes are checked, not only repeated.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/exact.h"
#include "tests/listing_check.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The integers of the observed line (the second line of the file), empty
// fields left out: the data, then the total.
std::vector<long long> ObservedLine(const std::string& file) {
  std::size_t start = file.find("\r\n");
  std::size_t end = start == std::string::npos ? start : file.find("\r\n", start + 2);
  std::vector<long long> values;
  if (end == std::string::npos) return values;
  std::istringstream fields(file.substr(start + 2, end - start - 2));
  std::string field;
  while (std::getline(fields, field, ',')) {
    if (field.find_first_not_of(' ') != std::string::npos) values.push_back(std::atoll(field.c_str()));
  }
  return values;
}

struct GoldenFile {
  std::string name;  // program/case/file
  std::string bytes;
};

// The result files of the golden cases of a program that hold the results
// of a whole run.
std::vector<GoldenFile> CompleteResultFiles(const std::string& program) {
  std::vector<GoldenFile> files;
  for (const auto& golden : fs::directory_iterator(fs::path(SOURCE_DIR) / program / "testdata")) {
    if (!fs::is_directory(golden.path() / "after")) continue;
    for (const auto& entry : fs::directory_iterator(golden.path() / "after")) {
      std::string bytes = ReadFile(entry.path());
      if (entry.path().extension() != ".csv" || bytes.find("\r\nmid-p (LR),") == std::string::npos) continue;
      files.push_back({program + "/" + golden.path().filename().string() + "/" +
                           entry.path().filename().string(),
                       bytes});
    }
  }
  return files;
}

TEST(GoldenExactTest, OrvaneResultFilesAgreeWithExactArithmetic) {
  int checked = 0;
  for (const GoldenFile& file : CompleteResultFiles("orvane")) {
    SCOPED_TRACE(file.name);
    std::vector<long long> line = ObservedLine(file.bytes);
    ASSERT_GE(line.size(), 2u);
    long long total = 0;
    std::vector<int> observed;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
      total += line[i];
      observed.push_back(static_cast<int>(line[i]));
    }
    if (total != line.back()) continue;  // a wrapped total: no exact counterpart
    ExpectResultFileMatchesExact(file.bytes, UniformityTest(observed));
    ++checked;
  }
  EXPECT_GE(checked, 20);
}

TEST(GoldenExactTest, KestrinResultFilesAgreeWithExactArithmetic) {
  int checked = 0;
  for (const GoldenFile& file : CompleteResultFiles("kestrin")) {
    SCOPED_TRACE(file.name);
    std::vector<long long> line = ObservedLine(file.bytes);
    ASSERT_EQ(line.size(), 5u);
    if (line[0] + line[1] + line[2] + line[3] != line[4]) continue;  // a wrapped total
    ExpectResultFileMatchesExact(file.bytes, FourfoldTest({static_cast<int>(line[0]), static_cast<int>(line[1]),
                                                           static_cast<int>(line[2]), static_cast<int>(line[3])}));
    ++checked;
  }
  EXPECT_GE(checked, 8);
}

}  // namespace
