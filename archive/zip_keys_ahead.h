// Key derivation ahead of an extraction of many AES entries. Every entry
// derives its keys with 1,000 rounds of PBKDF2, which costs a small file
// more than creating it; threads on every processor derive the keys of the
// entries ahead while the extraction writes the ones before them, so that
// the derivation overlaps the file creation instead of adding to it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "archive/zip_crypto.h"
#include "common/wstring.h"

namespace zip {

// One AES entry the extraction will open, in the order it will.
struct KeyJob {
    uint64_t headerOffset;  // names the entry
    uint64_t saltOffset;    // where its salt lies in the archive
    uint8_t strength;
};

class KeysAhead {
public:
    // No thread starts before Start; threads: how many derive (at least one).
    KeysAhead(const WString& archivePath, std::vector<KeyJob> jobs, unsigned threads);
    // Stops the threads and overwrites every key they derived.
    ~KeysAhead();
    KeysAhead(const KeysAhead&) = delete;
    KeysAhead& operator=(const KeysAhead&) = delete;

    // Derives with these password bytes for the entries after the one at
    // headerOffset (which opened with them); keys of other bytes are
    // dropped. Bytes already in use change nothing.
    void Start(const SecretBytes& password, uint64_t headerOffset);
    // The derived bytes of the entry at headerOffset when they were derived
    // (waiting for a derivation under way) with these password bytes, this
    // strength and this salt. False when they were not, and no thread will
    // derive them: the caller derives them itself.
    bool Take(uint64_t headerOffset, const SecretBytes& password, uint8_t strength, const uint8_t* salt,
              SecretBytes& derived);

private:
    struct Result {
        enum class State { kWaiting, kDeriving, kDone, kFailed } state = State::kWaiting;
        uint8_t salt[16] = {};
        SecretBytes derived;
    };

    void Work();
    // Clears every result from first on; called with the lock held.
    void ResetFrom(size_t first);

    WString archivePath_;
    std::vector<KeyJob> jobs_;
    std::unordered_map<uint64_t, size_t> byOffset_;
    std::vector<Result> results_;
    unsigned threadCount_;
    std::vector<std::thread> threads_;
    std::mutex lock_;
    std::condition_variable changed_;
    SecretBytes password_;
    bool started_ = false;
    bool stopping_ = false;
    // Bumped when the password changes: a derivation of an older one is
    // thrown away when it ends.
    uint64_t generation_ = 0;
    // The next job a thread takes, and the job the extraction is at; the
    // threads stay within kWindow jobs of it.
    size_t next_ = 0;
    size_t current_ = 0;
};

}  // namespace zip
