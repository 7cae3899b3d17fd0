// Pieces every benchmark here shares: clocks, the generated corpus of text,
// noise and tiny files, and the printing of one measured step.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/wstring.h"

namespace bench {

// Seconds of processor time this process has used.
double ProcessorSeconds();
// Seconds on the performance counter.
double Now();

// Wall-clock and processor time of one measured step.
struct Span {
    double wall = 0;
    double cpu = 0;
};

// Measures from Start to Stop.
class Stopwatch {
public:
    void Start();
    Span Stop() const;

private:
    Span start_;
};

void WriteBytes(const WString& path, const std::string& bytes);
std::string ReadBytes(const WString& path);

// Text-like, incompressible, large and tiny files: about a third each of
// text and noise in large files, the rest in many tiny files (in the folder
// "tiny"). The same files for every run (fixed seed). Returns their paths.
std::vector<WString> MakeCorpus(const WString& root, size_t megabytes);

// Reads every file once so that no measured step pays for the first read.
void WarmUp(const std::vector<WString>& files);

void PrintLine(const char* what, const Span& span);

// A fresh folder for the run in the temporary folder.
WString FreshWorkFolder(const wchar_t* name);

}  // namespace bench
