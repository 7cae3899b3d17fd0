#include "archive/datalist.h"

#include <cstring>

namespace {

const int kCapacityStep = 100;

}  // namespace

CDataList::CDataList() : count_(0), capacity_(kCapacityStep)
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
    items_.emplace_back(block);
    sizes_.push_back(size);
    return count_++;
}

int CDataList::Append(const void* bytes, int size)
{
    std::unique_ptr<uint8_t[]> block(new uint8_t[size > 0 ? size : 1]);
    if (size > 0) {
        memcpy(block.get(), bytes, size);
    }
    return Push(block.release(), size);
}

const uint8_t* CDataList::Block(int index) const
{
    return index >= 0 && index < count_ ? items_[static_cast<size_t>(index)].get() : nullptr;
}

int CDataList::Size(int index) const { return index >= 0 && index < count_ ? sizes_[static_cast<size_t>(index)] : 0; }
