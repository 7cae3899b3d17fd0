// DOS dates and times, the form in which ZIP entries and cabinet files keep
// their last write: local time in two-second steps from 1980 to 2107.
#pragma once

#include <windows.h>
#include <cstdint>

// The UTC file time of a DOS date and time; zero (unknown) when the values
// name no time. A failed conversion from local time is reported.
FILETIME DosDateTimeToUtc(uint16_t dosDate, uint16_t dosTime);

// The local DOS date and time of a UTC file time. False when a step fails:
// failedCall then names the system call, whose code GetLastError gives, so
// that a caller off the window thread can report it later.
bool UtcToDosDateTime(const FILETIME& utc, WORD& dosDate, WORD& dosTime, const char*& failedCall);
