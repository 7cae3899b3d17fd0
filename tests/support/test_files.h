// Files and folders for tests: a private scratch folder per test, whole-file
// reads and writes, and a byte builder for hand-made records.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

// ZlibBesideProgram, for the tests that load the zlib library.
#include "archive/zlib_binding.h"
#include "common/wstring.h"

using Bytes = std::vector<uint8_t>;

// A fresh folder below the program's temporary folder, removed with
// everything in it when the object ends.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const WString& Path() const { return path_; }
    WString operator/(const wchar_t* name) const;

private:
    WString path_;
};

// Makes below root a tree whose folders mix files and subfolders (one of
// them empty, one holding nothing but an empty folder) and returns its
// files' paths below root in the order of a depth-first walk that takes each
// folder's items in the order the directory search returns them: the order
// in which the engines compress a folder.
std::vector<std::wstring> MakeMixedTree(const WString& root);
// The paths below root in that walk's order; with emptyFolders, every folder
// that holds nothing at all too, at its place, ending in a backslash.
std::vector<std::wstring> WalkOrder(const WString& root, bool emptyFolders);

bool WriteFileBytes(const WString& path, const Bytes& bytes);
bool WriteFileText(const WString& path, const std::string& text);
Bytes ReadFileBytes(const WString& path);
// Whether no handle holds the file: it opens for writing without sharing.
bool NobodyHolds(const WString& path);
void RemoveTree(const WString& path);

// A link to a folder or a file, made for a test and taken away with it.
// Windows makes it with CreateSymbolicLinkW; Wine answers that call with
// success without making anything, so there the link is made as a symbolic
// link of the host's file system, which Wine shows with a reparse point.
class SymbolicLink {
public:
    SymbolicLink(const WString& link, const WString& target);
    ~SymbolicLink();
    SymbolicLink(const SymbolicLink&) = delete;
    SymbolicLink& operator=(const SymbolicLink&) = delete;
    // Whether the link is there and shows itself as a link (Wine shows a
    // link to a file as the file itself).
    bool Made() const;

private:
    WString link_;
};

// Builds a binary record field by field, little-endian.
class ByteBuilder {
public:
    ByteBuilder& U8(uint8_t value);
    ByteBuilder& U16(uint16_t value);
    ByteBuilder& U32(uint32_t value);
    ByteBuilder& U64(uint64_t value);
    ByteBuilder& Text(const std::string& text);
    ByteBuilder& Raw(const Bytes& bytes);
    ByteBuilder& Fill(size_t count, uint8_t value);
    // Overwrites a 32-bit value already written at the offset.
    ByteBuilder& PatchU32(size_t offset, uint32_t value);
    size_t Size() const { return bytes_.size(); }
    const Bytes& Get() const { return bytes_; }

private:
    Bytes bytes_;
};
