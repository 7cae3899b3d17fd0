/* The zlib library as the programs load it at run time: the plain zlib
 * entry points, exported under their own names with the Windows API calling
 * convention. The statically linked zlib keeps its C convention inside. */
#include <windows.h>
#include <zlib.h>

int WINAPI wapi_compress(Bytef *dest, uLongf *destLen, const Bytef *source, uLong sourceLen)
{
    return compress(dest, destLen, source, sourceLen);
}

int WINAPI wapi_compress2(Bytef *dest, uLongf *destLen, const Bytef *source, uLong sourceLen, int level)
{
    return compress2(dest, destLen, source, sourceLen, level);
}

uLong WINAPI wapi_compressBound(uLong sourceLen)
{
    return compressBound(sourceLen);
}

int WINAPI wapi_uncompress(Bytef *dest, uLongf *destLen, const Bytef *source, uLong sourceLen)
{
    return uncompress(dest, destLen, source, sourceLen);
}

uLong WINAPI wapi_crc32(uLong crc, const Bytef *buf, uInt len)
{
    return crc32(crc, buf, len);
}

uLong WINAPI wapi_adler32(uLong adler, const Bytef *buf, uInt len)
{
    return adler32(adler, buf, len);
}

int WINAPI wapi_inflateInit2_(z_streamp strm, int windowBits, const char *version, int stream_size)
{
    return inflateInit2_(strm, windowBits, version, stream_size);
}

int WINAPI wapi_inflate(z_streamp strm, int flush)
{
    return inflate(strm, flush);
}

int WINAPI wapi_inflateSetDictionary(z_streamp strm, const Bytef *dictionary, uInt dictLength)
{
    return inflateSetDictionary(strm, dictionary, dictLength);
}

int WINAPI wapi_inflateReset(z_streamp strm)
{
    return inflateReset(strm);
}

int WINAPI wapi_inflateEnd(z_streamp strm)
{
    return inflateEnd(strm);
}

const char *WINAPI wapi_zlibVersion(void)
{
    return zlibVersion();
}
