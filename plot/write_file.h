// Writing a whole file at once, for the picture.
#ifndef PLOT_WRITE_FILE_H_
#define PLOT_WRITE_FILE_H_

#include <string>
#include <string_view>

namespace plot {

/// Replaces the file at path with content (creating it, mode 0666 less the
/// umask). On failure throws std::runtime_error with one line, "PATH: the
/// reason", and removes what was written when path is a regular file.
void WriteWholeFile(const std::string& path, std::string_view content);

}  // namespace plot

#endif  // PLOT_WRITE_FILE_H_
