# Sourced by the shell tests: how a test says that it cannot run here.
#
#   skip REASON        the machine does not allow the test (a privilege it
#                      lacks): exit status 77, which CTest counts as skipped
#   need TOOL PACKAGE  skips when TOOL is missing, naming the package that
#                      brings it; in CI (CI set and not false) the test
#                      fails instead, for CI runs every test
#
# The reason goes to standard output and, when CTest runs the test, to a
# note in EXACT_SKIP_DIR named after EXACT_TEST_NAME; CTest prints the notes
# after its summary, so that a skip never passes unexplained.

skip() {
  echo "SKIP: $*"
  if [ -n "${EXACT_SKIP_DIR:-}" ] && [ -n "${EXACT_TEST_NAME:-}" ]; then
    mkdir -p "$EXACT_SKIP_DIR" &&
      echo "$EXACT_TEST_NAME: $*" >"$EXACT_SKIP_DIR/${EXACT_TEST_NAME//\//_}"
  fi
  exit 77
}

in_ci() {
  case ${CI:-} in
    '' | 0 | false | False | FALSE | no) return 1 ;;
    *) return 0 ;;
  esac
}

need() {
  command -v "$1" >/dev/null && return 0
  if in_ci; then
    echo "FAIL: $1 is missing (Debian package $2); in CI every test must run"
    exit 1
  fi
  skip "$1 is missing (Debian package $2)"
}
