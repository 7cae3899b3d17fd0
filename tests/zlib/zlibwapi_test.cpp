#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/system.h"

namespace {

// The exports as the programs bind them: Windows API calling convention.
using Compress2Fn = int(WINAPI*)(Bytef*, uLongf*, const Bytef*, uLong, int);
using CompressFn = int(WINAPI*)(Bytef*, uLongf*, const Bytef*, uLong);
using CompressBoundFn = uLong(WINAPI*)(uLong);
using UncompressFn = int(WINAPI*)(Bytef*, uLongf*, const Bytef*, uLong);
using ChecksumFn = uLong(WINAPI*)(uLong, const Bytef*, uInt);
using InflateInit2Fn = int(WINAPI*)(z_streamp, int, const char*, int);
using InflateFn = int(WINAPI*)(z_streamp, int);
using InflateSetDictionaryFn = int(WINAPI*)(z_streamp, const Bytef*, uInt);
using InflateStreamFn = int(WINAPI*)(z_streamp);

const wchar_t* LibraryName() { return sizeof(void*) == 8 ? L"zlibwapi64.dll" : L"zlibwapi32.dll"; }

class ZlibLibraryTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring path(self);
        path = path.substr(0, path.find_last_of(L'\\') + 1) + LibraryName();
        module_.Reset(LoadLibraryW(path.c_str()));
        ASSERT_TRUE(module_.IsValid()) << "cannot load the zlib library";
        compress2_ = GetProcedure<Compress2Fn>(module_.Get(), "compress2");
        compress_ = GetProcedure<CompressFn>(module_.Get(), "compress");
        bound_ = GetProcedure<CompressBoundFn>(module_.Get(), "compressBound");
        uncompress_ = GetProcedure<UncompressFn>(module_.Get(), "uncompress");
        crc32_ = GetProcedure<ChecksumFn>(module_.Get(), "crc32");
        adler32_ = GetProcedure<ChecksumFn>(module_.Get(), "adler32");
        inflateInit2_ = GetProcedure<InflateInit2Fn>(module_.Get(), "inflateInit2_");
        inflate_ = GetProcedure<InflateFn>(module_.Get(), "inflate");
        inflateSetDictionary_ = GetProcedure<InflateSetDictionaryFn>(module_.Get(), "inflateSetDictionary");
        inflateReset_ = GetProcedure<InflateStreamFn>(module_.Get(), "inflateReset");
        inflateEnd_ = GetProcedure<InflateStreamFn>(module_.Get(), "inflateEnd");
        ASSERT_TRUE(compress2_ && compress_ && bound_ && uncompress_ && crc32_ && adler32_ && inflateInit2_ &&
                    inflate_ && inflateSetDictionary_ && inflateReset_ && inflateEnd_)
            << "every entry point is exported under its plain name";
    }

    std::vector<Bytef> Compress(const std::string& data, int level)
    {
        uLongf length = bound_(static_cast<uLong>(data.size()));
        std::vector<Bytef> out(length);
        EXPECT_EQ(Z_OK, compress2_(out.data(), &length, reinterpret_cast<const Bytef*>(data.data()),
                                   static_cast<uLong>(data.size()), level));
        out.resize(length);
        return out;
    }

    ScopedModule module_;
    Compress2Fn compress2_ = nullptr;
    CompressFn compress_ = nullptr;
    CompressBoundFn bound_ = nullptr;
    UncompressFn uncompress_ = nullptr;
    ChecksumFn crc32_ = nullptr;
    ChecksumFn adler32_ = nullptr;
    InflateInit2Fn inflateInit2_ = nullptr;
    InflateFn inflate_ = nullptr;
    InflateSetDictionaryFn inflateSetDictionary_ = nullptr;
    InflateStreamFn inflateReset_ = nullptr;
    InflateStreamFn inflateEnd_ = nullptr;
};

std::string SampleText()
{
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += "書庫の中のファイル line " + std::to_string(i * 7919 % 1000) + "\n";
    }
    return text;
}

TEST_F(ZlibLibraryTest, ChecksumsMatchTheirKnownValues)
{
    const Bytef digits[] = "123456789";
    EXPECT_EQ(0xCBF43926u, crc32_(crc32_(0, nullptr, 0), digits, 9));
    EXPECT_EQ(0x091E01DEu, adler32_(adler32_(0, nullptr, 0), digits, 9));
    EXPECT_EQ(0u, crc32_(0, nullptr, 0));
}

TEST_F(ZlibLibraryTest, RoundTripsThroughCompress2AndUncompressAtEveryLevel)
{
    std::string text = SampleText();
    for (int level : {-1, 0, 1, 9}) {
        std::vector<Bytef> packed = Compress(text, level);
        std::vector<Bytef> unpacked(text.size());
        uLongf length = static_cast<uLongf>(unpacked.size());
        ASSERT_EQ(Z_OK, uncompress_(unpacked.data(), &length, packed.data(), static_cast<uLong>(packed.size())));
        ASSERT_EQ(text.size(), length) << "level " << level;
        EXPECT_EQ(0, memcmp(unpacked.data(), text.data(), text.size())) << "level " << level;
    }
    uLongf length = bound_(9);
    std::vector<Bytef> out(length);
    EXPECT_EQ(Z_OK, compress_(out.data(), &length, reinterpret_cast<const Bytef*>("123456789"), 9));
}

TEST_F(ZlibLibraryTest, TheWrappedStreamWithoutHeaderAndTrailerIsRawDeflate)
{
    std::string text = SampleText();
    for (int level : {-1, 0, 9}) {
        std::vector<Bytef> packed = Compress(text, level);
        ASSERT_GT(packed.size(), 6u);
        // A raw inflater (no zlib header) takes the data between the 2-byte
        // header and the 4-byte Adler-32 trailer.
        z_stream stream{};
        ASSERT_EQ(Z_OK, inflateInit2(&stream, -MAX_WBITS));
        std::vector<Bytef> out(text.size() + 16);
        stream.next_in = packed.data() + 2;
        stream.avail_in = static_cast<uInt>(packed.size() - 6);
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(Z_STREAM_END, inflate(&stream, Z_FINISH)) << "level " << level;
        EXPECT_EQ(text.size(), stream.total_out);
        EXPECT_EQ(0u, stream.avail_in) << "nothing is left over after the deflate data";
        inflateEnd(&stream);
        EXPECT_EQ(0, memcmp(out.data(), text.data(), text.size()));
    }
}

TEST_F(ZlibLibraryTest, UncompressYieldsAllDataBeforeAZeroTrailerFails)
{
    // The engine reads raw deflate by putting a zlib header in front and four
    // zero bytes behind: the output is complete, only the Adler-32 check fails.
    std::string text = SampleText();
    std::vector<Bytef> packed = Compress(text, 9);
    std::vector<Bytef> wrapped = {0x78, 0x9C};
    wrapped.insert(wrapped.end(), packed.begin() + 2, packed.end() - 4);
    wrapped.insert(wrapped.end(), 4, 0);
    std::vector<Bytef> out(text.size());
    uLongf length = static_cast<uLongf>(out.size());
    EXPECT_EQ(Z_DATA_ERROR, uncompress_(out.data(), &length, wrapped.data(), static_cast<uLong>(wrapped.size())));
    EXPECT_EQ(text.size(), length);
    EXPECT_EQ(0, memcmp(out.data(), text.data(), text.size()));
}

// Data cut into pieces that each end their own raw deflate stream and refer
// back into the pieces before them, as the cabinet engine checks MSZIP
// units: one stream of the library, reset for every piece and given the
// output so far as its dictionary.
TEST_F(ZlibLibraryTest, TheExportedInflaterDecodesPiecesWithTheOutputBeforeThemAsDictionary)
{
    std::string text = SampleText();
    const size_t piece = 0x8000;
    ASSERT_GT(text.size(), 2 * piece);
    std::vector<std::vector<Bytef>> pieces;
    for (size_t at = 0; at < text.size(); at += piece) {
        z_stream deflater{};
        ASSERT_EQ(Z_OK, deflateInit2(&deflater, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY));
        const Bytef* bytes = reinterpret_cast<const Bytef*>(text.data());
        if (at > 0) {
            ASSERT_EQ(Z_OK, deflateSetDictionary(&deflater, bytes + at - piece, piece));
        }
        size_t size = std::min(piece, text.size() - at);
        std::vector<Bytef> packed(deflateBound(&deflater, static_cast<uLong>(size)));
        deflater.next_in = const_cast<Bytef*>(bytes + at);
        deflater.avail_in = static_cast<uInt>(size);
        deflater.next_out = packed.data();
        deflater.avail_out = static_cast<uInt>(packed.size());
        ASSERT_EQ(Z_STREAM_END, deflate(&deflater, Z_FINISH));
        packed.resize(deflater.total_out);
        deflateEnd(&deflater);
        pieces.push_back(packed);
    }
    z_stream stream{};
    ASSERT_EQ(Z_OK, inflateInit2_(&stream, -MAX_WBITS, ZLIB_VERSION, static_cast<int>(sizeof stream)));
    std::string out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE("piece " + std::to_string(i));
        if (i > 0) {
            ASSERT_EQ(Z_OK, inflateReset_(&stream));
            ASSERT_EQ(Z_OK, inflateSetDictionary_(&stream, reinterpret_cast<const Bytef*>(out.data()) + out.size() -
                                                               piece, piece));
        }
        std::vector<Bytef> decoded(piece + 1);
        stream.next_in = pieces[i].data();
        stream.avail_in = static_cast<uInt>(pieces[i].size());
        stream.next_out = decoded.data();
        stream.avail_out = static_cast<uInt>(decoded.size());
        ASSERT_EQ(Z_STREAM_END, inflate_(&stream, Z_FINISH));
        out.append(reinterpret_cast<const char*>(decoded.data()), decoded.size() - stream.avail_out);
    }
    EXPECT_EQ(Z_OK, inflateEnd_(&stream));
    EXPECT_TRUE(out == text) << "decoded " << out.size() << " of " << text.size() << " bytes";
}

}  // namespace
