// The mark of origin that Windows keeps in a file's "Zone.Identifier"
// stream. A file taken out of an archive that came from the internet keeps
// the archive's zone, so that Windows still warns before running it and
// Office still opens it in Protected View.
#pragma once

#include <string>

#include "common/wstring.h"

// Zones as URLZONE numbers them: 3 is the internet, 4 the restricted sites.
const int kInternetZone = 3;

struct ZoneMark {
    // 0 when the file has no mark, or one without a zone.
    int zoneId = 0;
    // Whether files taken out of the marked file must be marked too.
    bool Carried() const { return zoneId >= kInternetZone; }
};

// The zone in the file's "Zone.Identifier" stream (an INI section
// "[ZoneTransfer]" with "ZoneId=N" in ANSI, UTF-8 or UTF-16 of either byte
// order; its first 64 KiB are read). No mark when the stream is missing,
// unreadable or has no such section; the internet zone when the section's
// zone cannot be read.
ZoneMark ReadZoneMark(const WString& path);

// The text of the stream of a file taken out of the archive at archivePath,
// as Windows' own extraction writes it: the zone and the archive as the
// referrer.
std::string ZoneMarkText(const ZoneMark& mark, const WString& archivePath);

// Writes that stream on the file at path; false when it could not be
// written (a volume without streams, for one).
bool WriteZoneMark(const WString& path, const ZoneMark& mark, const WString& archivePath);

// Gives a file made from the archive's content without an extraction (an
// edited copy kept beside the archive, a copy held for the user) the mark
// of the archive's zone, as recorded when the content was taken out (the
// archive may be gone since), when that zone is carried. True when the
// file has the mark or needs none.
bool CarryZoneMarkOf(int zoneId, const WString& archivePath, const WString& path);
