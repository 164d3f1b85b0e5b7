#pragma once
// For the window benchmark (bench/windows): with MORVESSA_TRACE_PAINTS set, the moment each
// window's first frame has been drawn and handed to the display is written to stderr as
// "painted TITLE SECONDS", SECONDS on the wall clock as `date +%s.%N` gives it. Without the
// variable nothing is installed.
namespace morvessa {

void traceFirstPaintsIfAsked();

} // namespace morvessa
