#include "dump/dump_run.h"

#include "common/paths.h"
#include "dump/cabdump.h"
#include "dump/zipdump.h"

DumpFormat ChooseDumpFormat(const WString& archivePath)
{
    return ExtensionPart(archivePath).Lower() == L"cab" ? kCabDump : kZipDump;
}

bool RunArchiveDump(DumpFormat format, const WString& archivePath, const WString& reportPath)
{
    if (format == kCabDump) {
        CCabDump dump(archivePath, reportPath);
        return dump.Dump();
    }
    CZipDump dump(archivePath, reportPath);
    return dump.Dump();
}
