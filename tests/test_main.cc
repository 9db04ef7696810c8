#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "kernel/startup.h"

namespace {

// A skipped test leaves a note with its reason in EXACT_SKIP_DIR, which
// CTest prints after its summary (see tests/skip.sh): a skip never passes
// unexplained.
class SkipNotes : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo& test) override {
    const char* folder = std::getenv("EXACT_SKIP_DIR");
    if (folder == nullptr || !test.result()->Skipped()) return;
    std::string name = std::string(test.test_suite_name()) + "." + test.name();
    std::string reason;
    for (int i = 0; i < test.result()->total_part_count(); ++i) {
      const testing::TestPartResult& part = test.result()->GetTestPartResult(i);
      if (part.skipped() && part.message() != nullptr) reason += part.message();
    }
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::string file_name = name;
    for (char& c : file_name) {
      if (c == '/') c = '_';
    }
    std::ofstream(std::filesystem::path(folder) / file_name) << name << ": " << reason << "\n";
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new SkipNotes);
  StartUp();
  return RUN_ALL_TESTS();
}
