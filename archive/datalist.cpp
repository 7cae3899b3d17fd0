#include "archive/datalist.h"

#include <cstring>

namespace {

const int kCapacityStep = 100;

}  // namespace

CDataList::CDataList()
    : count_(0), items_(new uint8_t*[kCapacityStep]), sizes_(new int[kCapacityStep]), capacity_(kCapacityStep)
{
}

CDataList::~CDataList()
{
    for (int i = 0; i < count_; ++i) {
        delete[] items_[i];
    }
    delete[] items_;
    delete[] sizes_;
}

void CDataList::Grow()
{
    if (count_ < capacity_) {
        return;
    }
    int capacity = capacity_ + kCapacityStep;
    uint8_t** items = new uint8_t*[capacity];
    int* sizes = new int[capacity];
    memcpy(items, items_, sizeof(uint8_t*) * count_);
    memcpy(sizes, sizes_, sizeof(int) * count_);
    delete[] items_;
    delete[] sizes_;
    items_ = items;
    sizes_ = sizes;
    capacity_ = capacity;
}

int CDataList::Push(uint8_t* block, int size)
{
    Grow();
    items_[count_] = block;
    sizes_[count_] = size;
    return count_++;
}

int CDataList::Append(const void* bytes, int size)
{
    uint8_t* block = new uint8_t[size > 0 ? size : 1];
    if (size > 0) {
        memcpy(block, bytes, size);
    }
    return Push(block, size);
}

const uint8_t* CDataList::Block(int index) const { return index >= 0 && index < count_ ? items_[index] : nullptr; }

int CDataList::Size(int index) const { return index >= 0 && index < count_ ? sizes_[index] : 0; }
