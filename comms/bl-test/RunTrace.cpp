#include "RunTrace.h"

LineTrace& runTrace()
{
    // Static storage for the trace's stream buffer: nothing is allocated
    // once the run has begun.
    static LineTrace trace;
    return trace;
}
