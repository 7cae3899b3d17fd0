// The report verb: a structural report of an archive, written beside it.
#pragma once

#include "common/wstring.h"

// The report file of an archive: its folder, its base name and ".txt".
WString ReportPathFor(const WString& archive);

// Asks, then writes the report of the archive named by the argument text
// (possibly quoted; the question shows it as typed).
void RunReportVerb(const WString& argumentText);
