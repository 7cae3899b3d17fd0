#include "bench/bench_support.h"

#include <cstdio>
#include <random>

#include "archive/arcfile.h"
#include "common/paths.h"

namespace bench {

double ProcessorSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void Stopwatch::Start()
{
    start_.wall = Now();
    start_.cpu = ProcessorSeconds();
}

Span Stopwatch::Stop() const
{
    Span span;
    span.wall = Now() - start_.wall;
    span.cpu = ProcessorSeconds() - start_.cpu;
    return span;
}

void WriteBytes(const WString& path, const std::string& bytes)
{
    ScopedFile h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

std::string ReadBytes(const WString& path)
{
    ScopedFile h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    GetFileSizeEx(h.Get(), &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    if (!bytes.empty()) {
        ReadFile(h.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &done, nullptr);
    }
    return bytes;
}

std::vector<WString> MakeCorpus(const WString& root, size_t megabytes)
{
    std::mt19937 rng(12345);
    const char* words[] = {"archive", "entry", "folder", "deflate", "window", "table", "record", "header",
                           "the", "of", "and", "zip", "data", "size", "time", "name"};
    std::vector<WString> files;
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(JoinPath(root, WString(L"tiny")).c_str(), nullptr);
    size_t total = megabytes << 20;
    size_t large = total * 9 / 20;
    for (int i = 0; i < 6; ++i) {
        std::string text;
        text.reserve(large / 6 + 64);
        while (text.size() < large / 6) {
            text += words[rng() % 16];
            text += (rng() % 12 == 0) ? "\n" : " ";
        }
        WString path = JoinPath(root, L"text" + WString::FromInt(i) + L".txt");
        WriteBytes(path, text);
        files.push_back(path);
        std::string noise(large / 6, '\0');
        for (auto& c : noise) {
            c = static_cast<char>(rng());
        }
        path = JoinPath(root, L"noise" + WString::FromInt(i) + L".bin");
        WriteBytes(path, noise);
        files.push_back(path);
    }
    size_t tinyTotal = total - 2 * large;
    for (size_t done = 0, i = 0; done < tinyTotal; ++i) {
        std::string tiny;
        size_t length = 200 + rng() % 3000;
        while (tiny.size() < length) {
            tiny += words[rng() % 16];
            tiny += ' ';
        }
        WString path =
            JoinPath(JoinPath(root, WString(L"tiny")), L"t" + WString::FromInt(static_cast<long long>(i)) + L".txt");
        WriteBytes(path, tiny);
        files.push_back(path);
        done += tiny.size();
    }
    return files;
}

void WarmUp(const std::vector<WString>& files)
{
    for (const WString& path : files) {
        ReadBytes(path);
    }
}

void PrintLine(const char* what, const Span& span)
{
    printf("  %-44s %7.2f s wall %7.2f s cpu\n", what, span.wall, span.cpu);
}

WString FreshWorkFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    WString work = WString(temp) + name;
    CArcFile::DeleteFolderContents(work);
    CreateDirectoryW(work.c_str(), nullptr);
    return work;
}

}  // namespace bench
