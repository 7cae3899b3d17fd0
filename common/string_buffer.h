// The owned, NUL-terminated storage under WString and AString: one growth
// rule for both, so that UTF-16 and code-page text behave alike.
#pragma once

#include <cstring>
#include <memory>

template <typename Char>
class StringBuffer {
public:
    // A string whose text was moved away reads as empty.
    const Char* c_str() const { return text_ ? text_.get() : Empty(); }
    operator const Char*() const { return c_str(); }
    int Length() const { return length_; }
    int Capacity() const { return capacity_; }
    bool IsEmpty() const { return length_ == 0; }

protected:
    // Strings that outgrow their buffer get this much room beyond what they
    // need, so that a run of small appends does not reallocate every time.
    static const int kGrowth = 30;
    static const int kDefaultCapacity = 30;

    StringBuffer() : capacity_(kDefaultCapacity), text_(new Char[kDefaultCapacity]), length_(0) { text_[0] = 0; }

    StringBuffer(const Char* text, int count) : capacity_(count + 1), text_(new Char[count + 1]), length_(count)
    {
        if (count > 0) {
            memcpy(text_.get(), text, count * sizeof(Char));
        }
        text_[count] = 0;
    }

    StringBuffer(const StringBuffer& other)
        : capacity_(other.text_ ? other.capacity_ : 1), text_(new Char[capacity_]), length_(other.length_)
    {
        if (other.text_) {
            memcpy(text_.get(), other.text_.get(), (length_ + 1) * sizeof(Char));
        } else {
            text_[0] = 0;
        }
    }

    StringBuffer(StringBuffer&& other) noexcept
        : capacity_(other.capacity_), text_(std::move(other.text_)), length_(other.length_)
    {
        other.Forget();
    }

    ~StringBuffer() = default;

    // Each string kind assigns through CopyFrom and TakeFrom; a plain copy
    // of the members would leave two owners of one buffer.
    StringBuffer& operator=(const StringBuffer&) = delete;
    StringBuffer& operator=(StringBuffer&&) = delete;

    void CopyFrom(const StringBuffer& other)
    {
        if (this != &other) {
            Assign(other.text_.get(), other.length_);
        }
    }

    void TakeFrom(StringBuffer& other) noexcept
    {
        if (this != &other) {
            capacity_ = other.capacity_;
            text_ = std::move(other.text_);
            length_ = other.length_;
            other.Forget();
        }
    }

    void Assign(const Char* text, int count)
    {
        if (text == text_.get() && text != nullptr) {
            return;
        }
        if (count + 1 > capacity_) {
            // The source may live inside the old buffer: copy before freeing.
            std::unique_ptr<Char[]> fresh(new Char[count + kGrowth]);
            if (count > 0) {
                memcpy(fresh.get(), text, count * sizeof(Char));
            }
            text_ = std::move(fresh);
            capacity_ = count + kGrowth;
        } else if (count > 0) {
            memmove(text_.get(), text, count * sizeof(Char));
        }
        length_ = count;
        text_[length_] = 0;
    }

    void Reserve(int units)
    {
        if (units <= capacity_) {
            return;
        }
        std::unique_ptr<Char[]> grown(new Char[units]);
        if (text_) {
            memcpy(grown.get(), text_.get(), (length_ + 1) * sizeof(Char));
        } else {
            grown[0] = 0;
        }
        text_ = std::move(grown);
        capacity_ = units;
    }

    void AppendUnits(const Char* text, int count)
    {
        if (count <= 0) {
            return;
        }
        int newLength = length_ + count;
        if (newLength + 1 > capacity_) {
            std::unique_ptr<Char[]> grown(new Char[newLength + kGrowth]);
            if (text_) {
                memcpy(grown.get(), text_.get(), length_ * sizeof(Char));
            }
            memcpy(grown.get() + length_, text, count * sizeof(Char));
            text_ = std::move(grown);
            capacity_ = newLength + kGrowth;
        } else {
            memmove(text_.get() + length_, text, count * sizeof(Char));
        }
        length_ = newLength;
        text_[length_] = 0;
    }

    // Ends the text after units written straight into the buffer.
    void SetLength(int units)
    {
        length_ = units;
        text_[length_] = 0;
    }

    // The buffer itself, for the string kinds' own work on the text.
    Char* Text() const { return text_.get(); }

    int capacity_;
    std::unique_ptr<Char[]> text_;
    int length_;

private:
    static const Char* Empty()
    {
        static const Char empty[1] = {};
        return empty;
    }

    void Forget()
    {
        capacity_ = 0;
        text_.reset();
        length_ = 0;
    }
};
