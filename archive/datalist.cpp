#include "archive/datalist.h"

#include <cstring>

namespace {

const int kCapacityStep = 100;
// Copies up to this size go into shared pieces of kPieceSize bytes.
const size_t kSmallCopy = 1024;
const size_t kPieceSize = 64 * 1024;

}  // namespace

CDataList::CDataList() : count_(0), piece_(nullptr), pieceUsed_(0), pieceSize_(0), capacity_(kCapacityStep)
{
    items_.reserve(kCapacityStep);
    sizes_.reserve(kCapacityStep);
}

CDataList::~CDataList() = default;

void CDataList::Grow()
{
    if (count_ >= capacity_) {
        capacity_ += kCapacityStep;
    }
}

int CDataList::Push(uint8_t* block, int size)
{
    Grow();
    owned_.emplace_back(block);
    items_.push_back(block);
    sizes_.push_back(size);
    return count_++;
}

int CDataList::Append(const void* bytes, int size)
{
    size_t length = size > 0 ? static_cast<size_t>(size) : 0;
    if (length > kSmallCopy) {
        std::unique_ptr<uint8_t[]> block(new uint8_t[length]);
        memcpy(block.get(), bytes, length);
        return Push(block.release(), size);
    }
    if (pieceSize_ - pieceUsed_ < length + 1) {
        owned_.emplace_back(new uint8_t[kPieceSize]);
        piece_ = owned_.back().get();
        pieceUsed_ = 0;
        pieceSize_ = kPieceSize;
    }
    uint8_t* copy = piece_ + pieceUsed_;
    if (length > 0) {
        memcpy(copy, bytes, length);
    }
    // Even an empty copy takes a byte, so that every block has an address
    // of its own.
    pieceUsed_ += length > 0 ? length : 1;
    Grow();
    items_.push_back(copy);
    sizes_.push_back(size);
    return count_++;
}

const uint8_t* CDataList::Block(int index) const
{
    return index >= 0 && index < count_ ? items_[static_cast<size_t>(index)] : nullptr;
}

int CDataList::Size(int index) const { return index >= 0 && index < count_ ? sizes_[static_cast<size_t>(index)] : 0; }
