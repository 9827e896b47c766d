// Data buffers a test run owns and hands to a component: zero-filled, freed with the object.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

#include "omx_report.h"

class OmxDataBuffers
{
public:
    // Allocates `count` zero-filled buffers of `size` bytes. When one cannot be had, prints
    // `fail_line` (printf format taking the index, %i) as a counted failure line, keeps the ones
    // allocated so far and returns false; a failed buffer is never handed to a component.
    bool allocate(size_t count, size_t size, const char *fail_line)
    {
        buffers_.reserve(count);
        for (size_t i = 0; i < count; i++) {
            Buffer buffer(static_cast<unsigned char *>(calloc(1, size)));
            if (!buffer) {
                omx_report_fail(fail_line, static_cast<int>(i));
                return false;
            }
            buffers_.push_back(std::move(buffer));
        }
        return true;
    }
    size_t size() const { return buffers_.size(); }
    unsigned char *operator[](size_t i) const { return buffers_[i].get(); }

private:
    struct Free {
        void operator()(unsigned char *p) const { free(p); }
    };
    using Buffer = std::unique_ptr<unsigned char, Free>;
    std::vector<Buffer> buffers_;
};
