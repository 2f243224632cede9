#pragma once
// How the program ends, on exit and after an error report: at once. The output streams are
// flushed, and then nothing else runs: no further window event, no destructor and no exit
// handler, so nothing is torn down in order against a half-released device or window; the
// operating system frees what is still held.

namespace rt {

[[noreturn]] void endProcessNow(int status);

}  // namespace rt
