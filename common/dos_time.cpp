#include "common/dos_time.h"

#include "common/messages.h"

FILETIME DosDateTimeToUtc(uint16_t dosDate, uint16_t dosTime)
{
    FILETIME local{};
    FILETIME utc{};
    if (!DosDateTimeToFileTime(dosDate, dosTime, &local)) {
        return utc;
    }
    if (!ReportApiFailure(LocalFileTimeToFileTime(&local, &utc), "LocalFileTimeToFileTime")) {
        return FILETIME{};
    }
    return utc;
}

bool UtcToDosDateTime(const FILETIME& utc, WORD& dosDate, WORD& dosTime, const char*& failedCall)
{
    FILETIME local{};
    if (!FileTimeToLocalFileTime(&utc, &local)) {
        failedCall = "FileTimeToLocalFileTime";
        return false;
    }
    if (!FileTimeToDosDateTime(&local, &dosDate, &dosTime)) {
        failedCall = "FileTimeToDosDateTime";
        return false;
    }
    failedCall = nullptr;
    return true;
}
