#include "archive/zip_keys_ahead.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "common/handles.h"

namespace zip {

namespace {

// How far ahead of the extraction the threads derive: far enough to keep
// every processor busy, near enough that an extraction that stops early
// leaves little derived for nothing.
const size_t kWindow = 64;

bool ReadSalt(ScopedFile& file, const WString& archivePath, const KeyJob& job, uint8_t* salt)
{
    if (!file) {
        file.Reset(CreateFileW(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr));
        if (!file) {
            return false;
        }
    }
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(job.saltOffset);
    DWORD size = static_cast<DWORD>(AesSaltSize(job.strength));
    DWORD got = 0;
    return size > 0 && SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) &&
           ReadFile(file.Get(), salt, size, &got, nullptr) && got == size;
}

}  // namespace

KeysAhead::KeysAhead(const WString& archivePath, std::vector<KeyJob> jobs, unsigned threads)
    : archivePath_(archivePath), jobs_(std::move(jobs)), results_(jobs_.size()), threadCount_(std::max(1u, threads))
{
    byOffset_.reserve(jobs_.size());
    for (size_t i = 0; i < jobs_.size(); ++i) {
        byOffset_.emplace(jobs_[i].headerOffset, i);
    }
}

KeysAhead::~KeysAhead()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void KeysAhead::ResetFrom(size_t first)
{
    for (size_t i = first; i < results_.size(); ++i) {
        results_[i].state = Result::State::kWaiting;
        results_[i].derived.Clear();
    }
}

void KeysAhead::Start(const SecretBytes& password, uint64_t headerOffset)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (started_ && password_ == password) {
            return;
        }
        auto found = byOffset_.find(headerOffset);
        size_t first = found == byOffset_.end() ? 0 : found->second + 1;
        ++generation_;
        password_ = password;
        ResetFrom(0);
        next_ = first;
        current_ = first;
        started_ = true;
        while (threads_.size() < threadCount_) {
            threads_.emplace_back([this] { Work(); });
        }
    }
    changed_.notify_all();
}

bool KeysAhead::Take(uint64_t headerOffset, const SecretBytes& password, uint8_t strength, const uint8_t* salt,
                     SecretBytes& derived)
{
    std::unique_lock<std::mutex> hold(lock_);
    auto found = byOffset_.find(headerOffset);
    if (!started_ || found == byOffset_.end() || password_ != password) {
        return false;
    }
    size_t job = found->second;
    // Keys of entries the extraction has passed are not needed any more.
    for (size_t i = current_; i < job; ++i) {
        results_[i].derived.Clear();
    }
    current_ = std::max(current_, job);
    changed_.notify_all();
    Result& result = results_[job];
    if (result.state == Result::State::kWaiting) {
        // No thread has come this far: the caller derives this one, and
        // the threads go on after it.
        result.state = Result::State::kFailed;
        next_ = std::max(next_, job + 1);
        return false;
    }
    changed_.wait(hold, [&] { return result.state != Result::State::kDeriving; });
    bool same = result.state == Result::State::kDone && jobs_[job].strength == strength &&
                memcmp(result.salt, salt, AesSaltSize(strength)) == 0;
    if (same) {
        derived = result.derived;
    }
    result.derived.Clear();
    result.state = Result::State::kFailed;
    return same;
}

void KeysAhead::Work()
{
    AesProviders deriver;
    ScopedFile file;
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] {
            return stopping_ || (started_ && next_ < jobs_.size() && next_ < current_ + kWindow);
        });
        if (stopping_) {
            return;
        }
        size_t job = next_++;
        if (results_[job].state != Result::State::kWaiting) {
            continue;
        }
        results_[job].state = Result::State::kDeriving;
        uint64_t generation = generation_;
        SecretBytes password = password_;
        KeyJob what = jobs_[job];
        hold.unlock();
        uint8_t salt[16] = {};
        SecretBytes derived;
        bool derivedOk = ReadSalt(file, archivePath_, what, salt) && deriver.Derive(password, what.strength, salt, derived);
        password.Clear();
        hold.lock();
        // Started again with other bytes meanwhile: the result is of no use.
        if (generation != generation_) {
            continue;
        }
        Result& result = results_[job];
        result.state = derivedOk ? Result::State::kDone : Result::State::kFailed;
        memcpy(result.salt, salt, sizeof salt);
        result.derived = derived;
        changed_.notify_all();
    }
}

}  // namespace zip
