// A run that could not be completed (exit status 1): what() is one line
// for standard error, without the program's name.
#ifndef CLI_FAILURE_H_
#define CLI_FAILURE_H_

#include <stdexcept>
#include <string>
#include <string_view>

namespace cli {

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// "cannot write 'FILE': No space left on device", from errno.
[[noreturn]] void ThrowCannotWrite(std::string_view what, int error);

}  // namespace cli

#endif  // CLI_FAILURE_H_
