// LZX data of a cabinet unit walked as the cabinet library's decoder will
// walk it, before it is handed over. The library's decoder trusts the
// stream: a match that reaches back further than its window, or on past
// the window's end, a frame that wraps round the window, or a stream that
// runs out of bytes makes it read or write outside its buffers. This walk
// decodes the same symbols and follows the same positions, without the
// bytes themselves, and refuses such a stream.
#pragma once

#include <cstdint>
#include <vector>

class LzxUnitChecker {
public:
    // windowBits: the exponent of the unit's type word (bits 8 to 12).
    explicit LzxUnitChecker(unsigned windowBits);

    // False for a window the format does not have (2^15 to 2^21 bytes):
    // the library fails to set up its decoder then, and on that failure
    // frees memory it never allocated.
    bool IsReady() const { return windowSize_ != 0; }

    // One data block of the unit, in order: true when the library decodes
    // it to cbUncomp bytes within its window and within the block's bytes.
    bool Block(const uint8_t* data, uint16_t cbData, uint16_t cbUncomp);

private:
    // A Huffman code by its code lengths, decoded as canonical codes.
    struct Code {
        std::vector<uint8_t> lengths;
        std::vector<uint16_t> symbols;  // in code order
        uint16_t count[17] = {};
        bool empty = true;
        bool Build(size_t symbolCount);
    };

    // The library's bit reader: 16-bit little-endian words, most
    // significant bit first, from the start of each block.
    bool Ensure(int bits);
    bool Take(int bits);
    bool ReadBits(int bits, uint32_t& value);
    bool ReadSymbol(const Code& code, uint32_t& symbol);
    bool ReadLengths(Code& code, size_t first, size_t last);
    bool StartBlock();
    bool Match(uint32_t mainElement, int& run);

    uint32_t windowSize_ = 0;
    uint32_t mainElements_ = 0;
    uint32_t position_ = 0;
    uint32_t repeated_[3] = {1, 1, 1};
    bool headerRead_ = false;
    uint32_t blockType_ = 0;
    uint32_t blockLength_ = 0;
    uint32_t blockRemaining_ = 0;
    Code pretree_;
    Code main_;
    Code length_;
    Code aligned_;

    const uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t at_ = 0;
    // Where the words of the bits being read begin, and how many were read.
    uint32_t runStart_ = 0;
    uint32_t words_ = 0;
    uint32_t buffer_ = 0;
    int bitsLeft_ = 0;
};
