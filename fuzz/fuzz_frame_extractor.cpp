// Fuzz target: the delimiter frame extractor and the MPEG-4 extraction on arbitrary bytes.
// Every operation runs on the same bytes as a stdio file and as a memory range; the two must
// agree byte for byte, and a peek must leave the input where it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "FrameExtractor.h"
#include "MPEG4Frames.h"
#include "fuzz_check.h"

namespace
{

using Bytes = std::vector<unsigned char>;

// The bytes drive the choices; when they run out, zeros do.
class Choices
{
public:
    Choices(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    unsigned byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    const uint8_t *rest() const { return data_ + pos_; }
    size_t rest_size() const { return size_ - pos_; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

struct Input {
    FRAMEX_IN_TYPE type;
    Bytes bytes; // exact size, on the heap
    FILE *fp = nullptr;
    FRAMEX_STRM_PTR strm{};

    Input(FRAMEX_IN_TYPE t, const uint8_t *data, size_t size) : type(t), bytes(data, data + size)
    {
        if (type == FRAMEX_IN_TYPE_FILE) {
            // A stdio stream over the copy: real fread and fseek, without touching the disk.
            if (size)
                fp = fmemopen(bytes.data(), size, "rb");
            else
                fp = std::tmpfile();
        } else {
            if (bytes.empty())
                bytes.reserve(1);
            strm.p_start = strm.p_cur = bytes.data();
            strm.p_end = reinterpret_cast<unsigned char *>(reinterpret_cast<uintptr_t>(bytes.data()) + size - 1);
        }
    }
    ~Input()
    {
        if (fp)
            std::fclose(fp);
    }
    void *handle() { return type == FRAMEX_IN_TYPE_FILE ? static_cast<void *>(fp) : &strm; }
    long position() const
    {
        return type == FRAMEX_IN_TYPE_FILE ? std::ftell(fp) : static_cast<long>(strm.p_cur - strm.p_start);
    }
};

// What one run of operations produced, for comparing file against memory.
struct Trace {
    std::vector<long> values;
    Bytes bytes;
    void add(long v) { values.push_back(v); }
    void add(const unsigned char *b, int n)
    {
        if (n > 0)
            bytes.insert(bytes.end(), b, b + n);
    }
    bool operator==(const Trace &o) const { return values == o.values && bytes == o.bytes; }
};

Trace run_generic(FRAMEX_IN_TYPE type, const Bytes &delim, bool insert, const Bytes &ops, const uint8_t *stream,
                  size_t size)
{
    Trace t;
    Input in(type, stream, size);
    if (type == FRAMEX_IN_TYPE_FILE && !in.fp)
        return t;
    FRAMEX_CTX *ctx = FrameExtractorInit(type, delim.data(), static_cast<int>(delim.size()), insert);
    FUZZ_CHECK(ctx != nullptr);
    const int leng = static_cast<int>(delim.size());
    Bytes buf;
    int n_fill = 0;
    for (size_t i = 0; i < ops.size(); ++i) {
        const unsigned op = ops[i];
        const int arg = static_cast<int>(op >> 2); // 0 .. 63
        const long before = in.position();
        int r = 0;
        switch (op & 3) {
        case 0: r = FrameExtractorFirst(ctx, in.handle()); break;
        case 1: { // a new frame, or a continuation in a larger buffer that keeps its bytes
            if (ctx->cont_offset == 0)
                buf.assign(static_cast<size_t>(arg), 0xEE);
            else
                buf.resize(buf.size() + static_cast<size_t>(arg), 0xEE);
            buf.reserve(1); // a buffer of size 0, not a missing buffer
            r = FrameExtractorNext(ctx, in.handle(), buf.data(), static_cast<int>(buf.size()), &n_fill);
            if (r == FRAMEX_OK) {
                FUZZ_CHECK(n_fill >= 0 && n_fill + leng <= static_cast<int>(buf.size()));
                FUZZ_CHECK(std::memcmp(buf.data() + n_fill, delim.data(), delim.size()) == 0);
                if (insert)
                    FUZZ_CHECK(std::memcmp(buf.data(), delim.data(), delim.size()) == 0);
                t.add(buf.data(), n_fill);
            } else if (r == FRAMEX_ERR_BUF_FULL) {
                FUZZ_CHECK(ctx->cont_offset == static_cast<int>(buf.size()));
            } else if (r == FRAMEX_ERR_END_OF_INPUT) {
                FUZZ_CHECK(n_fill >= 0 && n_fill <= static_cast<int>(buf.size()));
                t.add(buf.data(), n_fill);
                ctx->cont_offset = 0; // a caller starts over after the end
            }
            t.add(n_fill);
            break;
        }
        case 2: {
            Bytes peek(static_cast<size_t>(arg));
            int pn = 0;
            const int cont = ctx->cont_offset;
            r = FrameExtractorPeek(ctx, in.handle(), peek.data(), arg, &pn);
            FUZZ_CHECK(in.position() == before);
            FUZZ_CHECK(ctx->cont_offset == cont);
            if (r == FRAMEX_OK)
                t.add(peek.data(), arg);
            t.add(pn);
            break;
        }
        case 3: // skip a frame without storing it
            if (ctx->cont_offset == 0)
                r = FrameExtractorNext(ctx, in.handle(), nullptr, arg, &n_fill);
            break;
        }
        t.add(r);
        t.add(in.position());
    }
    FrameExtractorFinal(ctx);
    return t;
}

Trace run_mpeg4(FRAMEX_IN_TYPE type, unsigned config_size, const Bytes &sizes, const uint8_t *stream, size_t size)
{
    Trace t;
    Input in(type, stream, size);
    if (type == FRAMEX_IN_TYPE_FILE && !in.fp)
        return t;
    static const unsigned char kPrefix[3] = {0x00, 0x00, 0x01};
    FRAMEX_CTX *ctx = FrameExtractorInit(type, kPrefix, 3, 1);
    FUZZ_CHECK(ctx != nullptr);
    t.add(FrameExtractorFirst(ctx, in.handle()));
    Bytes buf(config_size);
    MPEG4_CONFIG_DATA conf{-1, -1};
    const int n = ExtractConfigStreamMpeg4(ctx, in.handle(), buf.data(), static_cast<int>(buf.size()), &conf);
    FUZZ_CHECK(n >= 0 && n <= static_cast<int>(buf.size()));
    FUZZ_CHECK(conf.width >= -1 && conf.width < 8192 && conf.height >= -1 && conf.height < 8192);
    t.add(buf.data(), n);
    t.add(conf.width);
    t.add(conf.height);
    for (unsigned s : sizes) {
        Bytes pic(s * 16 + 1);
        unsigned type_code = 99;
        const int m = NextFrameMpeg4(ctx, in.handle(), pic.data(), static_cast<int>(pic.size()), &type_code);
        FUZZ_CHECK(m >= 0 && m <= static_cast<int>(pic.size()));
        FUZZ_CHECK(ctx->cont_offset == 0);
        t.add(pic.data(), m);
        t.add(m);
        if (m > 0)
            t.add(type_code);
    }
    FrameExtractorFinal(ctx);
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Choices c(data, size);
    const unsigned mode = c.byte();
    if (mode & 1) {
        const unsigned config_size = c.byte() * 8 + 1;
        Bytes sizes(c.byte() % 16);
        for (auto &s : sizes)
            s = static_cast<unsigned char>(c.byte());
        const Trace file = run_mpeg4(FRAMEX_IN_TYPE_FILE, config_size, sizes, c.rest(), c.rest_size());
        const Trace mem = run_mpeg4(FRAMEX_IN_TYPE_MEM, config_size, sizes, c.rest(), c.rest_size());
        if (!file.values.empty())
            FUZZ_CHECK(file == mem);
        return 0;
    }
    Bytes delim((mode >> 1) % 12 + 1);
    for (auto &d : delim)
        d = static_cast<unsigned char>(c.byte() % 3); // few symbols: many matches
    const bool insert = (mode >> 5) & 1;
    Bytes ops(c.byte() % 32);
    for (auto &o : ops)
        o = static_cast<unsigned char>(c.byte());
    const Trace file = run_generic(FRAMEX_IN_TYPE_FILE, delim, insert, ops, c.rest(), c.rest_size());
    const Trace mem = run_generic(FRAMEX_IN_TYPE_MEM, delim, insert, ops, c.rest(), c.rest_size());
    if (!file.values.empty())
        FUZZ_CHECK(file == mem);
    return 0;
}
