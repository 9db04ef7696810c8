// The lines of the batch mode's input: one test per line, its counts
// separated by blanks, tabs or commas, optionally after a label. Blank
// lines and lines whose first character past the blanks is '#' are
// skipped. A separator is a run of blanks and tabs, or one comma with
// blanks and tabs about it: "3 1 1 3", "3,1,1,3", "3, 1,\t1 , 3" are the
// same counts; an empty field ("3,,1") is malformed.
#ifndef CLI_BATCH_LINES_H_
#define CLI_BATCH_LINES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class LineKind : std::uint8_t { kSkipped, kData, kMalformed };

/// Reads one line (without its line end; a CR before the LF is dropped
/// here). With labels, the first field is the label, any text without a
/// separator. Each further field must be a count (0 to 2147483647, as on
/// the command line): counts receives them, label the label. A malformed
/// line leaves in why what is wrong ("invalid cell '-1': a count cannot be
/// negative"); noun names the counts ("cell" or "count").
LineKind ReadBatchLine(std::string_view line, bool labels, std::string_view noun, std::string_view& label,
                       std::vector<std::uint32_t>& counts, std::string& why);

/// The message of a line whose counts add up to more than 2147483647, or
/// empty: "the cells add up to 2147483648, more than 2147483647".
std::string TotalProblem(const std::vector<std::uint32_t>& counts, std::string_view noun);

}  // namespace cli

#endif  // CLI_BATCH_LINES_H_
