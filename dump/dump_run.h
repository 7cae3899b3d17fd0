// Running a structural report: the format follows the archive's extension.
#pragma once

#include "common/wstring.h"

enum DumpFormat {
    kZipDump = 0,
    kCabDump = 1,
};

// "cab" in any case gives a cabinet report; every other extension, none
// included, a ZIP report.
DumpFormat ChooseDumpFormat(const WString& archivePath);
// Writes the report of the archive in the chosen format; true when the
// report was completed.
bool RunArchiveDump(DumpFormat format, const WString& archivePath, const WString& reportPath);
