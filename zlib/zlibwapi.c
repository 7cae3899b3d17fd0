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

const char *WINAPI wapi_zlibVersion(void)
{
    return zlibVersion();
}
