// Indexed owned byte blocks: the variable-length pieces of a ZIP archive
// (extra fields, comments, new compressed data). Records keep the index of
// their block; blocks are never removed before the list ends.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class CDataList {
public:
    CDataList();
    virtual ~CDataList();
    CDataList(const CDataList&) = delete;
    CDataList& operator=(const CDataList&) = delete;

    // Takes ownership of a block allocated with new[] and returns its index.
    int Push(uint8_t* block, int size);
    // Copies the bytes and returns the index of the copy. Small copies share
    // larger pieces of memory, so that the names of an archive of many
    // thousand entries do not cost an allocation each.
    int Append(const void* bytes, int size);

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    // The block and its size; null and 0 for an index that is not in the list.
    const uint8_t* Block(int index) const;
    int Size(int index) const;

private:
    // The capacity counts up in steps of 100; the storage itself grows
    // geometrically, so that an archive of many thousand entries does not
    // copy the list again every hundred blocks.
    void Grow();

    int count_;
    std::vector<const uint8_t*> items_;
    std::vector<int> sizes_;
    // Everything the list owns: pushed blocks, large copies and the shared
    // pieces of small copies.
    std::vector<std::unique_ptr<uint8_t[]>> owned_;
    uint8_t* piece_;  // the shared piece being filled
    size_t pieceUsed_;
    size_t pieceSize_;
    int capacity_;
};
