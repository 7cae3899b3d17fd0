// ZIP archives: the read-only layer that reads the central directory into a
// sorted entry table, and the full layer that extracts, adds, deletes and
// writes the changed archive when it is destroyed.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "archive/arcentry.h"
#include "archive/arcfile.h"
#include "archive/datalist.h"
#include "archive/zip_decrypt.h"
#include "archive/zip_keys_ahead.h"
#include "archive/zlib_binding.h"

struct CompressedFile;

// Password bytes that opened entries of an archive, and whether one of
// them proved the bytes right.
struct OpenedPassword {
    zip::SecretBytes bytes;
    bool proven = false;
};

class CZipFileEnum : public CArcFile {
public:
    CZipFileEnum(const WString& archivePath, bool keepWorkFolder);
    ~CZipFileEnum() override;

    bool GetEntryNames(StringList& names) override;
    bool Extract(const WString&, const WString&, bool) override { return false; }
    bool GetEntryInfo(const WString&, DWORD&, DWORD&, FILETIME&, DWORD&, StringList&) override { return false; }
    bool Add(const WString&, const WString&, int) override { return false; }
    bool Delete(const WString&) override { return false; }
    bool CanUpdate() override { return false; }
    bool CanDelete() override { return false; }

    // Table index of a name with "/" separators, or -1. The empty name is the
    // archive's top level: an entry that stands for it ("./") is kept in the
    // table for the commit, but is never found or listed.
    int FindEntry(const WString& name) const { return name.IsEmpty() ? -1 : entries_.Find(name); }
    const EntryTable& Entries() const { return entries_; }
    const CDataList& Blocks() const { return blocks_; }
    bool IsZip64() const { return zip64_; }
    int ArchiveCommentIndex() const { return archiveCommentIndex_; }
    int Zip64DataIndex() const { return zip64DataIndex_; }
    uint32_t EntryCount() const { return entryCount_; }
    uint64_t CentralDirOffset() const { return centralDirOffset_; }
    // Whether the whole directory and every local header were read.
    bool ReadCompletely() const { return readComplete_; }
    // Whether the entry's data shares bytes with another entry's or with the
    // central directory.
    bool OverlapsOther(const ArcEntry& entry) const;

protected:
    class Reader;

    // Whether the directory (from its start to the end of the file: the
    // central directory, the end records and the archive's comment) still
    // holds the bytes it was read from: a rewrite of the same size that
    // kept the time is seen too.
    bool DirectoryStillAsRead(HANDLE held) override;

    // Where an entry's data begins, from its local header; 0 when unknown.
    uint64_t DataOffsetOf(const ArcEntry& entry) const;

    EntryTable entries_;
    bool zip64_;
    int archiveCommentIndex_;
    int zip64DataIndex_;
    CDataList blocks_;
    uint32_t entryCount_;
    uint64_t centralDirOffset_;
    bool readComplete_;

private:
    void ReadArchive();
    bool FindEndRecord(Reader& reader, uint64_t fileSize);
    bool ReadZip64End(Reader& reader, uint64_t locatorAt, bool required);
    // Reads the directory into the table in directory order, the sort key
    // of row i being key i.
    bool ReadCentralDirectory(Reader& reader, SortKeys& keys);
    // Puts the table in key order, leaving out (and reporting) a name equal
    // to one earlier in the directory; tableKeys gets the key number of
    // every row.
    void SortTable(const SortKeys& keys, std::vector<int>& tableKeys);
    bool CheckLocalHeaders(Reader& reader, uint64_t fileSize);
    void AddFolderEntries(SortKeys& keys, std::vector<int>& tableKeys);
    void MarkOverlaps();

    uint64_t centralDirEnd_;
    // A digest of the directory's bytes as read, and where they began.
    bool DigestDirectory(HANDLE file, uint64_t& digest);
    uint64_t directoryDigest_ = 0;
    bool directoryDigested_ = false;
    // Every local header read: where it starts, where its data starts and
    // where its data and descriptor end. Kept in the order of the headers
    // in the file, so that a data offset is found by halving.
    struct LocalSpan {
        uint64_t begin;
        uint64_t data;
        uint64_t end;
    };
    std::vector<LocalSpan> spans_;
    std::set<uint64_t> overlapping_;
};

class CZipFile : public CZipFileEnum {
public:
    // keepWorkFolder: leave the work folder as it is, without removing the
    // slots of ended actions that nobody needs any more.
    CZipFile(const WString& archivePath, const WString& zlibLibraryPath, bool keepWorkFolder = false);
    ~CZipFile() override;

    bool Extract(const WString& destination, const WString& entryPath, bool askBeforeOverwrite) override;
    bool GetEntryInfo(const WString& entryPath, DWORD& size, DWORD& packedSize, FILETIME& lastWrite,
                      DWORD& attributes, StringList& lines) override;
    bool Add(const WString& source, const WString& folder, int progressIcon) override;
    bool Delete(const WString& entryPath) override;
    bool CanUpdate() override { return true; }
    bool CanDelete() override { return true; }
    bool HasPendingChanges() const override { return !committed_ && (modified_ || pending_.Count() > 0); }
    bool CommitChanges() override { return Commit(); }
    bool StoredChecksum(const WString& entryPath, uint64_t& size, uint32_t& crc32) const override;
    bool IsEncryptedEntry(const WString& entryPath) const override;
    EntryProtection ProtectionOf(const WString& entryPath) const override;
    bool UseProtection(const EntryProtection& protection) override;
    bool SharedProtection(EntryProtection& protection) override;
    bool UnlockEntry(const WString& entryPath, EntryProtection& protection) override;

    bool ExtractFolder(HANDLE archive, const WString& prefix, const WString& target);
    // name: the entry's name in the table, for the password request.
    bool ExtractEntry(HANDLE archive, const ArcEntry& entry, const WString& name, const WString& output);
    // Reads an entry's data into memory, decrypted, decoded and checked;
    // output names it in error texts.
    bool ReadEntry(HANDLE archive, const ArcEntry& entry, const WString& name, const WString& output,
                   zip::LocalHeader& local, zip::PlainBuffer& data);
    bool AddFolder(const WString& folder, const WString& namePrefix);
    bool AddFile(const WString& path, const WString& name);
    // The entry of a folder that holds nothing; name ends with "/".
    bool AddFolderEntry(const WString& path, const WString& name);
    // The files below the folder with their entry names (namePrefix + the
    // path below it), their sizes collected when asked; the entries of its
    // empty folders are added at once, the folder's own too when it is empty
    // and namePrefix names it.
    bool GatherFolder(const WString& folder, const WString& namePrefix, bool collect, std::vector<WString>& paths,
                      std::vector<WString>& names);
    // Compresses the files on worker threads and adds them under the names,
    // in list order, as AddFile one by one would; added(i) runs on this
    // thread after file i was added. Stops at the first failure.
    bool AddFiles(const std::vector<WString>& paths, const std::vector<WString>& names,
                  const std::function<void(size_t)>& added);

    // The number of compression threads (default: one per processor) and
    // the bytes they may hold at once (default 256 MiB).
    void SetCompressionWorkers(int workers) { compressionWorkers_ = workers; }
    void SetCompressionBudget(uint64_t bytes) { compressionBudget_ = bytes; }
    // The most bytes the compression threads held at once in the last AddFiles.
    uint64_t PeakCompressionHeld() const { return peakCompressionHeld_; }

    // Writes the pending additions and deletions to the archive. The
    // destructor calls it; it runs once per object.
    bool Commit();

    int Level() const { return level_; }
    const EntryTable& Pending() const { return pending_; }
    bool IsModified() const { return modified_; }

protected:
    // Every write of the new archive goes through here.
    virtual bool WriteOutput(HANDLE file, const void* bytes, DWORD count, const char* label);
    // Gives an extracted file its times (null: unchanged) and attributes
    // through its open handle; false when that failed.
    virtual bool SetTimesAndAttributes(HANDLE file, const FILETIME* creation, const FILETIME* access,
                                       const FILETIME* lastWrite, DWORD attributes);

private:
    // The commit's writes are gathered into large blocks: an archive of many
    // small entries would otherwise cost several system calls per entry.
    bool Write(HANDLE file, const void* bytes, size_t count, const char* label);
    bool Flush(HANDLE file, const char* label);
    bool CopyEntryData(Reader& source, HANDLE sourceFile, HANDLE output, uint64_t offset, uint64_t count,
                       const char* label);
    bool CheckZlib();
    bool AppendCompressed(const WString& name, CompressedFile& file);
    bool MergePending();
    bool WriteEntries(HANDLE source, HANDLE output, uint64_t& position, std::vector<int>& written);
    // The bytes the entry's name is written with: those it was read with,
    // or for a new entry its encoding (setting flag bit 11 for UTF-8).
    std::string StoredNameOf(ArcEntry& entry, const WString& name);
    std::vector<uint8_t> outputBuffer_;
    bool WriteCentralDirectory(HANDLE output, uint64_t& position, const std::vector<int>& written);
    bool WriteEndRecords(HANDLE output, uint64_t directoryStart, uint64_t directoryEnd, uint64_t count);
    bool ReplaceArchive(ScopedFile& hold, const WString& realPath, const WString& temporary);

    // Encrypted entries. OpenDecryption reads the header before the data
    // (the file stands at the data's start), finds the password, trying the
    // session's encodings from candidate on and giving back the one that
    // passed, and leaves the file at the encrypted data; CloseDecryption
    // reads and checks the authentication code behind it.
    bool OpenDecryption(HANDLE archive, const ArcEntry& entry, const WString& name, const zip::LocalHeader& local,
                        const WString& output, size_t& candidate, zip::EntryDecryption& decryption);
    // codeFault, when given, is set when the code does not match.
    bool CloseDecryption(HANDLE archive, zip::EntryDecryption& decryption, const WString& output,
                         bool* codeFault = nullptr);
    // Reads, decrypts and decodes one entry's data into data (size bytes);
    // dataFault tells a failure of the data's own checks (its length or
    // CRC) from one of reading.
    bool ReadEntryData(HANDLE archive, zip::EntryDecryption& decryption, uint16_t method, uint32_t packedSize,
                       uint32_t size, uint32_t crc, uint8_t* data, const WString& output, bool& dataFault);
    // Decrypts data just read, when the entry is encrypted.
    bool DecryptRead(zip::EntryDecryption& decryption, uint8_t* bytes, uint32_t count, const WString& output);
    // The source's answer to one request, or false with the reason (no
    // source, a cancel, a wrong password not given again) in the error text.
    bool RequestPassword(const WString& name, bool wrong, bool confirm, const WString& output, WString& typed);
    bool AskPassword(const WString& name, bool wrong, const WString& output);
    // Asks for the password once more and tells whether it is the one the
    // bytes taken came from.
    bool ConfirmPassword(const WString& name, const WString& output, const zip::SecretBytes& taken);
    // A new file's data encrypted as the protection in use says: the
    // header before it, the code after it, the entry's fields to match.
    bool EncryptNewData(const WString& name, CompressedFile& file, ArcEntry& entry);
    // proves: the entry's data or code could only come out right with the
    // bytes, so they may encrypt what joins the archive.
    void RememberPassword(const WString& name, const zip::SecretBytes& bytes, bool proves);
    // The password bytes an entry was opened with in this object; null when
    // it was not opened.
    const OpenedPassword* OpenedWith(const WString& name) const;
    // The AES block of an entry's central extra field; false when it has none.
    bool AesParametersOf(const ArcEntry& entry, zip::AesParameters& parameters) const;
    // Before a folder is extracted, the password of its first encrypted
    // entry is asked and checked, so that a cancel or a wrong password
    // leaves nothing written.
    bool UnlockFolder(HANDLE archive, const WString& prefix);
    // The derivation ahead for the AES entries of a folder's extraction;
    // null when there are not several or only one processor.
    std::unique_ptr<zip::KeysAhead> KeysAheadFor(const WString& prefix) const;

    int level_;
    EntryTable pending_;
    bool modified_;
    bool committed_;
    ZlibBinding zlib_;
    int compressionWorkers_;
    uint64_t compressionBudget_;
    uint64_t peakCompressionHeld_ = 0;
    zip::PasswordSession passwords_;
    // Every password bytes that opened an entry, once each, and for each
    // entry opened (by name) the one that opened it: an archive of many
    // entries keeps one copy of its password, not one per entry.
    std::vector<OpenedPassword> openedPasswords_;
    std::unordered_map<std::wstring, size_t> openedWith_;
    size_t lastOpened_ = 0;
    EntryProtection protection_;
    // The CNG providers of every AES entry this object opens or writes.
    zip::AesProviders aesProviders_;
    // Keys derived ahead while a folder of AES entries is extracted.
    std::unique_ptr<zip::KeysAhead> keysAhead_;
};

namespace zip {

// Whether an entry name (with "/" separators) can be extracted: the rule of
// both engines (archive/entry_names.h), for callers of the ZIP layer.
bool IsSafeEntryName(const WString& name);
// Windows attribute bits of an entry's external attributes that may be
// given to an extracted file.
DWORD FileAttributesOf(uint32_t externalAttributes);

}  // namespace zip
