// SIGINT and SIGTERM as a descriptor to wait on: the handler writes a byte into a pipe, so
// the main loop (the window's or the headless one) ends the program in its own time, with
// audio switched off, instead of the process ending wherever it is.
#pragma once

namespace quitsignal {

// Installs the handlers once; later calls do nothing. False when the pipe cannot be made.
bool Install();
// The descriptor that turns readable when a signal came; -1 before Install.
int Fd();
// Whether a signal came (reads what is waiting in the pipe).
bool Raised();

} // namespace quitsignal
