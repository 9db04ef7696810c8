// The error pause and the choice of the result file, shared by both
// programs.
#ifndef KERNEL_RESULTFILE_H_
#define KERNEL_RESULTFILE_H_

#include <string_view>

/// Whether the result file lists every outcome; set by each program at its
/// start, cleared when the default file "log.csv" is chosen.
extern bool WriteOutcomeRows;

/// Shows "Error!:  " and message on a line of the console, then waits for
/// Enter (returns at once at the end of the input).
void ErrorPause(std::u16string_view message);

enum class FileChoice { kCreated, kRefused };

/// Asks for the file name with prompt and creates the answer plus ".csv";
/// an empty answer takes "log.csv" without an existence test and clears
/// WriteOutcomeRows. An existing file is refused with a message and left
/// untouched, and so is anything that has the name when the file is made
/// (a link to nothing, a file made since the test): the named file is
/// created exclusively. A file that cannot be created is the I/O failure.
FileChoice ChooseResultFile(std::u16string_view prompt);

#endif  // KERNEL_RESULTFILE_H_
