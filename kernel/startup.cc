#include "kernel/startup.h"

#include <unistd.h>

#include "kernel/codeset.h"
#include "kernel/failure.h"
#include "kernel/numeric.h"
#include "kernel/textstream.h"

void StartUp() {
  SetFloatingPointEnvironment();
  SelectCodeset();
  InstallFailureHandling();
}

void EndRun() {
  FinishConsoleOutput();
  IoCheck();
  _exit(0);
}
