// Test input for the frame extractor: the same bytes as a stdio file or as a memory range.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "FrameExtractor.h"

namespace test_input
{

class StreamInput
{
public:
    StreamInput(FRAMEX_IN_TYPE type, const std::vector<unsigned char> &data) : StreamInput(type, data, data.size()) {}

    // Memory input over the first n bytes of data, with the rest still readable in memory.
    static StreamInput range(const std::vector<unsigned char> &data, size_t n)
    {
        return StreamInput(FRAMEX_IN_TYPE_MEM, data, n);
    }

    // File input over an existing file.
    explicit StreamInput(FILE *fp) : type_(FRAMEX_IN_TYPE_FILE), fp_(fp) {}

    StreamInput(const StreamInput &) = delete;
    StreamInput &operator=(const StreamInput &) = delete;
    ~StreamInput()
    {
        if (fp_)
            std::fclose(fp_);
    }

    void *handle() { return type_ == FRAMEX_IN_TYPE_FILE ? static_cast<void *>(fp_) : &strm_; }

    // Offset of the next byte to be read.
    long position() const
    {
        if (type_ == FRAMEX_IN_TYPE_FILE)
            return std::ftell(fp_);
        return static_cast<long>(strm_.p_cur - strm_.p_start);
    }

private:
    StreamInput(FRAMEX_IN_TYPE type, const std::vector<unsigned char> &data, size_t n)
        // An empty range still gets one byte, so its start is a valid address.
        : type_(type), data_(data.empty() ? std::vector<unsigned char>(1) : data)
    {
        if (type_ == FRAMEX_IN_TYPE_FILE) {
            fp_ = std::tmpfile();
            if (fp_ && n)
                std::fwrite(data_.data(), 1, n, fp_);
            if (fp_)
                std::rewind(fp_);
            return;
        }
        strm_.p_start = strm_.p_cur = data_.data();
        // Last byte of the range; one before the start for an empty range.
        strm_.p_end = reinterpret_cast<unsigned char *>(reinterpret_cast<uintptr_t>(data_.data()) + n - 1);
    }

    FRAMEX_IN_TYPE type_;
    std::vector<unsigned char> data_;
    FILE *fp_ = nullptr;
    FRAMEX_STRM_PTR strm_{};
};

} // namespace test_input
