// The trace of this run of blockxfer. main opens it when BLOCKXFER_TRACE
// names a file and hands it to the engines and the console port as their
// TraceSink; the flows and the exit paths write the run's "result" into it.
// Closed, it records nothing.
#pragma once
#include "LineTrace.h"

LineTrace& runTrace();
