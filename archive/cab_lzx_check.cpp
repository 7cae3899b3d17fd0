#include "archive/cab_lzx_check.h"

#include <algorithm>

namespace {

const uint32_t kLiterals = 256;
const uint32_t kMinMatch = 2;
const uint32_t kPrimaryLengths = 7;
const uint32_t kSecondaryLengths = 249;
const size_t kPretreeSymbols = 20;
const size_t kMainSymbols = 256 + 50 * 8;
const size_t kLengthSymbols = kSecondaryLengths + 1;
const size_t kAlignedSymbols = 8;
// Runs of code lengths may go on past the last length asked for; the
// decoder's tables have this much room for them.
const size_t kLengthSlack = 64;

const uint32_t kVerbatimBlock = 1;
const uint32_t kAlignedBlock = 2;
const uint32_t kUncompressedBlock = 3;

// Extra bits and base offsets of the 51 position slots.
struct PositionSlots {
    uint8_t extra[51];
    uint32_t base[51];
    PositionSlots()
    {
        uint32_t base0 = 0;
        for (int i = 0; i < 51; ++i) {
            extra[i] = static_cast<uint8_t>(i < 4 ? 0 : std::min((i - 2) / 2, 17));
            base[i] = base0;
            base0 += 1u << extra[i];
        }
    }
};

const PositionSlots& Slots()
{
    static const PositionSlots slots;
    return slots;
}

}  // namespace

LzxUnitChecker::LzxUnitChecker(unsigned windowBits)
{
    if (windowBits < 15 || windowBits > 21) {
        return;
    }
    windowSize_ = 1u << windowBits;
    uint32_t slots = windowBits == 20 ? 42 : windowBits == 21 ? 50 : windowBits * 2;
    mainElements_ = kLiterals + slots * 8;
    pretree_.lengths.assign(kPretreeSymbols + kLengthSlack, 0);
    main_.lengths.assign(kMainSymbols + kLengthSlack, 0);
    length_.lengths.assign(kLengthSymbols + kLengthSlack, 0);
    aligned_.lengths.assign(kAlignedSymbols + kLengthSlack, 0);
}

bool LzxUnitChecker::Code::Build(size_t symbolCount)
{
    // Only lengths 1 to 16 make codes; a length beyond (a wrapped delta)
    // leaves its symbol out, as the decoder's table does.
    std::fill(std::begin(count), std::end(count), 0);
    bool anyLength = false;
    for (size_t s = 0; s < symbolCount; ++s) {
        anyLength = anyLength || lengths[s] != 0;
        if (lengths[s] >= 1 && lengths[s] <= 16) {
            ++count[lengths[s]];
        }
    }
    uint32_t filled = 0;
    for (int length = 1; length <= 16; ++length) {
        filled += static_cast<uint32_t>(count[length]) << (16 - length);
    }
    // The decoder takes a complete code, or one of no symbols at all (which
    // gives symbol 0 for no bits); any other makes it stop.
    empty = filled == 0;
    if (empty) {
        return !anyLength;
    }
    if (filled != (1u << 16)) {
        return false;
    }
    symbols.clear();
    for (int length = 1; length <= 16; ++length) {
        for (size_t s = 0; s < symbolCount; ++s) {
            if (lengths[s] == length) {
                symbols.push_back(static_cast<uint16_t>(s));
            }
        }
    }
    return true;
}

bool LzxUnitChecker::Ensure(int bits)
{
    while (bitsLeft_ < bits) {
        uint32_t low = at_ < size_ ? data_[at_] : 0;
        uint32_t high = at_ + 1 < size_ ? data_[at_ + 1] : 0;
        buffer_ |= (low | high << 8) << (16 - bitsLeft_);
        bitsLeft_ += 16;
        at_ += 2;
        ++words_;
    }
    return true;
}

bool LzxUnitChecker::Take(int bits)
{
    buffer_ = bits >= 32 ? 0 : buffer_ << bits;
    bitsLeft_ -= bits;
    // The bits taken must all lie in whole words of the block: past them the
    // decoder reads what its buffer held before.
    uint32_t taken = 16 * words_ - static_cast<uint32_t>(bitsLeft_);
    return taken == 0 || runStart_ + 2 * ((taken - 1) / 16) + 1 < size_;
}

bool LzxUnitChecker::ReadBits(int bits, uint32_t& value)
{
    Ensure(bits);
    value = buffer_ >> (32 - bits);
    return Take(bits);
}

bool LzxUnitChecker::ReadSymbol(const Code& code, uint32_t& symbol)
{
    Ensure(16);
    if (code.empty) {
        symbol = 0;
        return true;
    }
    uint32_t first = 0;
    uint32_t index = 0;
    for (int length = 1; length <= 16; ++length) {
        uint32_t value = buffer_ >> (32 - length);
        if (value - first < code.count[length]) {
            symbol = code.symbols[index + value - first];
            return Take(length);
        }
        index += code.count[length];
        first = (first + code.count[length]) << 1;
    }
    return false;
}

bool LzxUnitChecker::ReadLengths(Code& code, size_t first, size_t last)
{
    for (size_t i = 0; i < kPretreeSymbols; ++i) {
        uint32_t length = 0;
        if (!ReadBits(4, length)) {
            return false;
        }
        pretree_.lengths[i] = static_cast<uint8_t>(length);
    }
    if (!pretree_.Build(kPretreeSymbols)) {
        return false;
    }
    std::vector<uint8_t>& lengths = code.lengths;
    for (size_t x = first; x < last;) {
        uint32_t symbol = 0;
        uint32_t run = 0;
        if (!ReadSymbol(pretree_, symbol)) {
            return false;
        }
        if (symbol == 17 || symbol == 18) {
            if (!ReadBits(symbol == 17 ? 4 : 5, run)) {
                return false;
            }
            run += symbol == 17 ? 4 : 20;
            symbol = 0;
            for (; run > 0; --run) {
                lengths[x++] = 0;
            }
            continue;
        }
        run = 1;
        if (symbol == 19) {
            if (!ReadBits(1, run) || !ReadSymbol(pretree_, symbol)) {
                return false;
            }
            run += 4;
        }
        int delta = static_cast<int>(lengths[x]) - static_cast<int>(symbol);
        uint8_t length = static_cast<uint8_t>(delta < 0 ? delta + 17 : delta);
        for (; run > 0; --run) {
            lengths[x++] = length;
        }
    }
    return true;
}

bool LzxUnitChecker::StartBlock()
{
    if (blockType_ == kUncompressedBlock) {
        // After stored bytes the bits start afresh, on an even byte.
        if (blockLength_ & 1) {
            ++at_;
        }
        buffer_ = 0;
        bitsLeft_ = 0;
        runStart_ = at_;
        words_ = 0;
    }
    uint32_t high = 0;
    uint32_t low = 0;
    if (!ReadBits(3, blockType_) || !ReadBits(16, high) || !ReadBits(8, low)) {
        return false;
    }
    blockRemaining_ = blockLength_ = high << 8 | low;
    switch (blockType_) {
    case kAlignedBlock:
        for (size_t i = 0; i < kAlignedSymbols; ++i) {
            uint32_t length = 0;
            if (!ReadBits(3, length)) {
                return false;
            }
            aligned_.lengths[i] = static_cast<uint8_t>(length);
        }
        if (!aligned_.Build(kAlignedSymbols)) {
            return false;
        }
        [[fallthrough]];
    case kVerbatimBlock:
        return ReadLengths(main_, 0, kLiterals) && ReadLengths(main_, kLiterals, mainElements_) &&
               main_.Build(kMainSymbols) && ReadLengths(length_, 0, kSecondaryLengths) &&
               length_.Build(kLengthSymbols);
    case kUncompressedBlock: {
        // The stored bytes begin at the next word the bits did not need;
        // three repeated offsets come first.
        Ensure(16);
        if (bitsLeft_ > 16) {
            at_ -= 2;
        }
        if (at_ + 12 > size_) {
            return false;
        }
        for (int r = 0; r < 3; ++r) {
            const uint8_t* p = data_ + at_ + 4 * r;
            repeated_[r] = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        }
        at_ += 12;
        return true;
    }
    default:
        return false;
    }
}

bool LzxUnitChecker::Match(uint32_t mainElement, int& run)
{
    uint32_t length = mainElement & kPrimaryLengths;
    uint32_t slot = mainElement >> 3;
    if (length == kPrimaryLengths) {
        uint32_t footer = 0;
        if (!ReadSymbol(length_, footer)) {
            return false;
        }
        length += footer;
    }
    length += kMinMatch;
    const PositionSlots& slots = Slots();
    uint32_t offset = 0;
    if (slot > 2) {
        uint32_t extra = slots.extra[slot];
        uint32_t bits = 0;
        if (blockType_ == kVerbatimBlock) {
            if (slot == 3) {
                offset = 1;
            } else {
                if (!ReadBits(static_cast<int>(extra), bits)) {
                    return false;
                }
                offset = slots.base[slot] - 2 + bits;
            }
        } else {
            offset = slots.base[slot] - 2;
            uint32_t alignedBits = 0;
            if (extra > 3) {
                if (!ReadBits(static_cast<int>(extra - 3), bits) || !ReadSymbol(aligned_, alignedBits)) {
                    return false;
                }
                offset += (bits << 3) + alignedBits;
            } else if (extra == 3) {
                if (!ReadSymbol(aligned_, alignedBits)) {
                    return false;
                }
                offset += alignedBits;
            } else if (extra > 0) {
                if (!ReadBits(static_cast<int>(extra), bits)) {
                    return false;
                }
                offset += bits;
            } else {
                offset = 1;
            }
        }
        repeated_[2] = repeated_[1];
        repeated_[1] = repeated_[0];
        repeated_[0] = offset;
    } else {
        offset = repeated_[slot];
        repeated_[slot] = repeated_[0];
        repeated_[0] = offset;
    }
    // The decoder copies from offset bytes back, round the window's start
    // when it must, and to the position on: neither may leave the window.
    if (offset > windowSize_ || position_ + length > windowSize_) {
        return false;
    }
    run -= static_cast<int>(length);
    position_ += length;
    return true;
}

bool LzxUnitChecker::Block(const uint8_t* data, uint16_t cbData, uint16_t cbUncomp)
{
    // A block that decodes to nothing sends the library to the next
    // cabinet of a set, whose data nobody has seen.
    if (!IsReady() || cbUncomp == 0) {
        return false;
    }
    data_ = data;
    size_ = cbData;
    at_ = 0;
    runStart_ = 0;
    words_ = 0;
    buffer_ = 0;
    bitsLeft_ = 0;
    if (!headerRead_) {
        uint32_t translated = 0;
        uint32_t size = 0;
        if (!ReadBits(1, translated) || (translated && (!ReadBits(16, size) || !ReadBits(16, size)))) {
            return false;
        }
        headerRead_ = true;
    }
    int togo = cbUncomp;
    while (togo > 0) {
        if (blockRemaining_ == 0 && !StartBlock()) {
            return false;
        }
        while (blockRemaining_ > 0 && togo > 0) {
            int run = static_cast<int>(std::min<uint32_t>(blockRemaining_, static_cast<uint32_t>(togo)));
            togo -= run;
            blockRemaining_ -= static_cast<uint32_t>(run);
            position_ &= windowSize_ - 1;
            if (position_ + static_cast<uint32_t>(run) > windowSize_) {
                return false;
            }
            if (blockType_ == kUncompressedBlock) {
                if (at_ + static_cast<uint32_t>(run) > size_) {
                    return false;
                }
                at_ += static_cast<uint32_t>(run);
                position_ += static_cast<uint32_t>(run);
                continue;
            }
            while (run > 0) {
                uint32_t element = 0;
                if (!ReadSymbol(main_, element)) {
                    return false;
                }
                if (element < kLiterals) {
                    ++position_;
                    --run;
                } else if (!Match(element - kLiterals, run)) {
                    return false;
                }
            }
        }
    }
    // The frame is copied out from the last cbUncomp bytes before the
    // position: they must not begin before the window does.
    uint32_t end = position_ == 0 ? windowSize_ : position_;
    return end >= cbUncomp;
}
