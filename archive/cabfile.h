// Cabinet archives: the read-only layer that lists a cabinet, and the full
// layer that extracts through the cabinet library's FDI, compresses through
// its FCI, and changes cabinets by merging them unit by unit.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/arcfile.h"
#include "archive/cab_library.h"
#include "archive/cab_records.h"
#include "archive/zlib_binding.h"
#include "common/stringlist.h"
#include "common/wstring.h"

class ProgressWindow;

// Per entry: the stored name's length in bytes with its NUL, its unit, and
// where its data lies in the unit's decoded bytes.
struct CabEntryRecord {
    uint32_t nameSize;
    uint16_t folder;
    uint32_t offset = 0;
    uint32_t size = 0;
};
using CabEntryList = KeyedList<CabEntryRecord>;

// The five settings of cabinet compression (registry, current user).
struct CabSettings {
    DWORD compType = 0;   // 0 MSZIP, 1 LZX, 2 none
    DWORD lzxLevel = 21;  // LZX window exponent, 15 to 21
    int unitType = 0;     // 0 by size, 1 large files alone, 2 one file per unit
    DWORD unitSize = 0;   // bytes; 0 lets the library decide
    bool sortBySize = false;
};


CabSettings ReadCabSettings();
// The unit threshold (cbFolderThresh) handed to the library: 0 for one file
// per unit, where the engine closes every unit itself; the unit size, or the
// library's own choice when that is 0.
ULONG UnitThreshold(const CabSettings& settings);
// The typeCompress word handed to the library for the settings.
uint16_t CompressionTypeWord(const CabSettings& settings);

class CCabFileEnum : public CArcFile {
public:
    // keepWorkFolder: leave the work folder as it is, without removing the
    // slots of ended actions that nobody needs any more.
    explicit CCabFileEnum(const WString& archivePath, bool keepWorkFolder = false);

    bool GetEntryNames(StringList& names) override;
    bool Extract(const WString&, const WString&, bool) override { return false; }
    bool GetEntryInfo(const WString&, DWORD&, DWORD&, FILETIME&, DWORD&, StringList&) override { return false; }
    bool Add(const WString&, const WString&, int) override { return false; }
    bool Delete(const WString&) override { return false; }
    bool CanUpdate() override { return modifiable_; }
    bool CanDelete() override { return modifiable_; }

    const cab::Header& HeaderCopy() const { return header_; }
    const CabEntryList& Entries() const { return entries_; }
    // True when reading found records that point outside the file or names
    // that cannot be stored on disk; such a cabinet is never changed.
    bool IsDamaged() const { return damaged_; }

protected:
    // Marks the cabinet damaged and not modifiable, with the reason.
    void MarkDamaged(const WString& reason);

    bool modifiable_ = true;
    bool damaged_ = false;
    cab::Header header_{};
    CabEntryList entries_{true};
    // The unit records and the per-block reserve size, as read; the data
    // blocks are checked against them before the library decodes a unit.
    std::vector<cab::Folder> units_;
    uint8_t dataReserve_ = 0;
    // The unit field of every file record, in the order of the file table,
    // which is the order in which the library offers the files.
    std::vector<uint16_t> recordUnits_;

private:
    void ReadDirectory();
};

// One unit (cabinet folder) of a parsed cabinet, for the merge.
struct CabUnit {
    cab::Folder record;
    int source;       // 0 the first input, 1 the second
    uint32_t start;   // coffCabStart in its input
    uint32_t length;  // bytes of its data blocks in its input
};

// One file record as it lies in a cabinet: the fixed part and the stored
// name's bytes (without the NUL), kept as they are so that a rewritten
// cabinet names every file exactly as before, whatever its code page.
struct CabStoredFile {
    cab::File fixed{};
    std::string storedName;
};

// A cabinet's directory as the merge reads it; the files in the order of
// the file table, by their names as decoded.
struct ParsedCabinet {
    cab::Header header{};
    std::vector<uint8_t> optionalPart;  // offset 36 up to the first folder record
    std::vector<CabUnit> units;
    KeyedList<CabStoredFile> files{false};
};

// A file that a commit takes again from a unit it compresses anew: its
// place in the file table, its record and stored name as read, and the
// numbered copy of its content in the commit's own working folder, which
// no other file's name can take.
struct KeptCabFile {
    int index = -1;
    CabStoredFile record;
    WString path;
    bool extracted = false;
};

class CCabFile : public CCabFileEnum {
public:
    explicit CCabFile(const WString& archivePath, bool keepWorkFolder = false);
    ~CCabFile() override;

    bool Extract(const WString& destination, const WString& entryPath, bool askBeforeOverwrite) override;
    bool GetEntryInfo(const WString& entryPath, DWORD& size, DWORD& packedSize, FILETIME& lastWrite,
                      DWORD& attributes, StringList& lines) override;
    // A new cabinet from a folder or a file; on an existing cabinet the
    // source is added through a merge. progressIcon -1 registers a changed
    // local copy of an entry for the write-back at destruction.
    bool Add(const WString& source, const WString& folder, int progressIcon) override;
    bool Delete(const WString& entryPath) override;
    bool HasPendingChanges() const override;
    // Carries out the deletions and the registered changed file: copies the
    // untouched units, compresses the kept files of the touched ones again
    // and replaces the cabinet, which stays as it was on any failure.
    bool CommitChanges() override;

    // Cabinet of new files: every source under prefix (empty or ending in a
    // backslash), with a progress window.
    bool BuildCabinet(const WString& target, const StringList& sources, const WString& prefix, int progressIcon);
    // A cabinet of one folder's content or one file, without progress.
    bool SilentCompress(const WString& target, const WString& source);
    // Adds files to this existing cabinet under folder: refuses names that
    // exist (without regard to case, as Windows folders do), then runs
    // beforeWriting, builds the new files' cabinet and the merged one beside
    // the cabinet under "~" names that no file has yet, and replaces the
    // cabinet. The working files are gone afterwards; the cabinet changes
    // only when everything succeeded.
    bool AddToCabinet(const StringList& sources, const WString& folder, int progressIcon,
                      const std::function<void()>& beforeWriting = std::function<void()>());

    // refuseDuplicates: a name of the second that the first holds already
    // (without regard to case) stops the merge, as adding files must; a
    // commit that takes a cabinet's own files again passes false.
    bool Merge(const WString& first, const WString& second, const WString& output, bool withProgress,
               bool refuseDuplicates = true);
    // This cabinet without the units whose flag is set.
    bool RebuildWithoutUnits(const std::vector<bool>& touched, const WString& output);
    // Replaces the held archive with the finished file; the archive stays
    // as it was when that fails.
    bool ReplaceArchive(ScopedFile& hold, const WString& realPath, const WString& finished);

    const CabSettings& Settings() const { return settings_; }
    uint16_t CompressionType() const { return compressionType_; }
    const CCAB& Parameters() const { return parameters_; }
    const KeyedList<CabEntryRecord>& DeletionList() const { return deletions_; }
    bool HasModifiedFile() const { return modifiedRegistered_; }

private:
    friend struct FdiCallbacks;
    friend struct FciCallbacks;

    struct QueuedFile {
        uint64_t size;
        WString source;
        WString name;
    };

    // Compression (FCI).
    bool FillParameters(CCAB& parameters, const WString& target, bool reportLength);
    bool CompressFolder(void* context, const WString& folder, const WString& prefix);
    bool CompressFile(void* context, const WString& source, const WString& name);
    bool CompressQueued(void* context);
    bool AddToLibrary(void* context, const WString& source, const WString& name);
    bool CloseUnit(void* context);
    bool FlushCabinet(void* context, bool withProgress);
    // One cabinet through FCI: a context for the parameters (user value as
    // the library passes it to the callbacks), the files added by addFiles,
    // the cabinet flushed when that succeeded.
    bool RunCompression(CCAB& parameters, void* user, bool withProgress,
                        const std::function<bool(void* context)>& addFiles);
    bool CompressNew(const WString& source, int progressIcon);
    void StartProgressFile(const WString& path);
    // Dispatches pending messages at most once per kPumpInterval.
    void PumpWhenDue();
    static constexpr ULONGLONG kPumpInterval = 15;
    void OpenProgress(const wchar_t* title, int icon);
    void SetProgressText(const WString& text);
    void SetProgressPosition(int percent);
    void ShowProgressCompleted();

    DWORD EstimateFromUnit(HANDLE file, const cab::Header& header, const cab::File& entry);
    // The bytes of a unit's data blocks and what they decode to, as their
    // headers say; false when a header cannot be read.
    bool UnitTotals(HANDLE file, const cab::Folder& folder, uint8_t dataReserve, uint64_t& packed,
                    uint64_t& unpacked);
    // Whether every file that extracting the filter takes lies inside the
    // bytes its unit decodes to (the error text says which does not).
    bool CheckFileExtents(const WString& entryPath);

    // Checks every data block of the flagged units, checksums included,
    // and decodes their MSZIP units with zlib, before the library decodes
    // them; units checked once are not read again. False with the error
    // text naming unit and block.
    bool VerifyUnits(const std::vector<bool>& units);
    // The units that extracting the filter (as Extract takes it) decodes.
    std::vector<bool> UnitsOf(const WString& entryPath) const;

    // Merge and modification.
    bool ParseCabinet(HANDLE file, int source, ParsedCabinet& parsed);
    bool LayOut(ParsedCabinet& parsed);
    bool WriteCabinet(HANDLE output, HANDLE first, HANDLE second, const ParsedCabinet& parsed, bool withProgress);
    bool RegisterModifiedFile(const WString& localPath, const WString& entryFolder);
    // The changed cabinet at target, from the units left untouched and the
    // kept files of the touched ones, with the registered changed file.
    bool BuildChangedCabinet(const std::vector<bool>& touched, const WString& scratch, std::vector<KeptCabFile>& kept,
                             const WString& target);
    // Extracts each kept file to its numbered copy; false unless every one
    // of them arrived whole.
    bool ExtractKeptFiles(std::vector<KeptCabFile>& kept);
    // A cabinet of the kept files, each under its stored name with its
    // record's time and attributes, in their order.
    bool CompressKeptFiles(const WString& target, std::vector<KeptCabFile>& kept);
    // A cabinet at target of the files addFiles hands to the library,
    // without progress.
    bool CompressSilently(const WString& target, const std::function<bool(void* context)>& addFiles);
    // The file records of the cabinet that a commit keeps from the touched
    // units, and the changed file that joins them.
    bool CollectKeptFiles(const ParsedCabinet& parsed, const std::vector<bool>& touched, const WString& tree,
                          std::vector<KeptCabFile>& kept);
    bool AddModifiedFile(const ParsedCabinet& parsed, const WString& tree, std::vector<KeptCabFile>& kept);
    bool IsDeleted(const WString& name, uint16_t unit) const;
    bool AddKeptToLibrary(void* context, int position, const KeptCabFile& file);
    INT_PTR OpenKeptOutput(int record, const char* storedName, long size);

    CCAB parameters_{};
    ERF error_{};
    WString filter_;
    uint16_t compressionType_ = cab::kCompressionMszip;
    CabSettings settings_;
    KeyedList<CabEntryRecord> deletions_{false};
    bool modifiedRegistered_ = false;
    bool committed_ = false;
    WString modifiedFile_;
    WString modifiedFolder_;
    bool sortingActive_ = false;
    KeyedList<QueuedFile> sortQueue_{true};
    std::unique_ptr<ProgressWindow> progress_;
    WString currentFile_;
    // Where in the collected list the next file's size is looked up first.
    int nextCollected_ = 0;
    uint64_t currentDone_ = 0;
    uint64_t currentSize_ = 0;
    uint64_t doneBefore_ = 0;
    int progressMode_ = 0;
    ULONGLONG lastPumpAt_ = 0;

    // Extraction: the FDI notices about one file, and their state.
    INT_PTR OpenOutput(const char* storedName, uint16_t attribs, uint32_t size);
    INT_PTR CloseOutput(HANDLE file, uint16_t date, uint16_t time, uint16_t attribs);
    // Removes the file the copy was writing when it stopped.
    void RemoveUnfinishedOutput();
    std::vector<bool> verifiedUnits_;
    // Loaded from beside the program when the first MSZIP unit is checked.
    ZlibBinding zlib_;
    WString extractRoot_;
    WString openOutput_;
    // The size the open file's record gives it.
    uint32_t openSize_ = 0;
    // A file that came out shorter than its record, which the library
    // did not report (a write that failed); empty when none did.
    WString unfinishedOutput_;
    // Why a name was refused during the copy; empty when none was.
    WString refusedText_;
    // While a commit extracts or compresses the kept files: the files and
    // the position of each table index among them.
    std::vector<KeptCabFile>* keptFiles_ = nullptr;
    std::vector<int> keptPositions_;
    // How many file records the library has told of in this copy, and
    // which of their units' methods the copy decodes.
    int noticedFiles_ = 0;
    enum class CopyPass { kAll, kAllButMszip, kMszip };
    CopyPass pass_ = CopyPass::kAll;
    bool InPass(int record) const;
    // The library's extraction, once the filter and root are set.
    bool CopyThroughLibrary();
    bool CopyPassThroughLibrary(CopyPass pass);

    // The error of the last source file the open-info callback could not
    // open; Wine's FCI replaces the thread's last error with its own code.
    DWORD sourceOpenError_ = 0;
};

// The entry name that a path added under folder (empty or ending in a
// backslash) would take and that the listed names already hold, compared
// without regard to case; empty when there is none. A drive root brings
// the names of what it holds.
WString FindDuplicateEntry(const StringList& entryNames, const StringList& sources, const WString& folder);

// The cabinet object for a path, for callers that treat all formats alike.
std::unique_ptr<CArcFile> OpenCabArchive(const WString& path);
