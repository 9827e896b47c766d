// Delimiter frame extractor.
#include "FrameExtractor.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// Bytes already read that may begin the delimiter, oldest first.
class MatchQueue
{
public:
    void push(unsigned char b)
    {
        bytes_[wr_] = b;
        wr_ = (wr_ + 1) % FRAMEX_MAX_DELIM_LENG;
        ++count_;
    }
    void pop()
    {
        rd_ = (rd_ + 1) % FRAMEX_MAX_DELIM_LENG;
        --count_;
    }
    unsigned char at(int l) const { return bytes_[(rd_ + l) % FRAMEX_MAX_DELIM_LENG]; }
    int size() const { return count_; }

private:
    std::array<unsigned char, FRAMEX_MAX_DELIM_LENG> bytes_{};
    int rd_ = 0;
    int wr_ = 0;
    int count_ = 0;
};

struct FileInput {
    FILE *fp;
    bool read(unsigned char &b) { return std::fread(&b, 1, 1, fp) == 1; }
    void back(int n)
    {
        if (n > 0)
            std::fseek(fp, -static_cast<long>(n), SEEK_CUR);
    }
};

struct MemInput {
    FRAMEX_STRM_PTR *s;
    bool read(unsigned char &b)
    {
        // Compared as addresses: an empty range has p_end one before p_start.
        if (s->p_cur == nullptr || reinterpret_cast<uintptr_t>(s->p_cur) > reinterpret_cast<uintptr_t>(s->p_end))
            return false;
        b = *s->p_cur++;
        return true;
    }
    void back(int n) { s->p_cur -= n; }
};

enum class Match {
    Found,
    FoundOnHeld,
    Stopped
};

// Finds the delimiter, shifting the candidate start by one byte on every mismatch. Bytes
// come from the queue first, then from next(), which returns false to stop the search.
template <class NextByte> Match match_delimiter(const unsigned char *delim, int leng, MatchQueue &queue, NextByte next)
{
    int l = 0;
    bool last_from_queue = false;
    while (l < leng) {
        unsigned char b;
        const bool from_queue = l < queue.size();
        if (from_queue) {
            b = queue.at(l);
        } else if (!next(b)) {
            return Match::Stopped;
        }
        last_from_queue = from_queue;
        if (b == delim[l]) {
            if (!from_queue)
                queue.push(b);
            ++l;
            continue;
        }
        if (from_queue) {
            queue.pop();
        } else if (l > 0) {
            queue.pop();
            queue.push(b);
        }
        l = 0;
    }
    return last_from_queue ? Match::FoundOnHeld : Match::Found;
}

template <class Input>
int next_delimiter_in(FRAMEX_CTX *ctx, Input in, unsigned char *outbuf, int outbuf_size, int *n_fill)
{
    const int leng = ctx->delim_leng;
    int unused_fill = 0;
    if (n_fill == nullptr)
        n_fill = &unused_fill;
    MatchQueue queue;
    int held = 0; // bytes the output buffer holds
    if (outbuf != nullptr) {
        if (ctx->cont_offset == 0) {
            if (leng >= outbuf_size)
                return FRAMEX_ERR_NO_ROOM;
            if (ctx->delim_insert) {
                std::memcpy(outbuf, ctx->delim_ptr, leng);
                held = leng;
                *n_fill = leng;
            } else {
                *n_fill = 0;
            }
        } else {
            held = ctx->cont_offset;
            if (held > outbuf_size)
                return FRAMEX_ERR_BUF_FULL; // still full: nothing to re-examine
            // Re-examine the last bytes held so that a delimiter split across the break is found.
            // An inserted leading delimiter is not stream data: re-examined, its tail could join
            // the bytes read after it into a delimiter the stream does not hold.
            const int first_read = ctx->delim_insert ? leng : 0;
            for (int i = std::max(held - leng, first_read); i < held; ++i)
                queue.push(outbuf[i]);
        }
    }

    bool full = false;
    auto next = [&](unsigned char &b) {
        if (outbuf != nullptr && held >= outbuf_size) {
            full = true;
            return false;
        }
        if (!in.read(b))
            return false;
        if (outbuf != nullptr) {
            outbuf[held++] = b;
            ++*n_fill;
        }
        return true;
    };

    switch (match_delimiter(ctx->delim_ptr, leng, queue, next)) {
    case Match::Stopped:
        if (full) {
            ctx->cont_offset = held;
            return FRAMEX_ERR_BUF_FULL;
        }
        return FRAMEX_ERR_END_OF_INPUT;
    case Match::FoundOnHeld: return FRAMEX_ERR_ON_HELD;
    case Match::Found: break;
    }
    if (outbuf != nullptr) {
        *n_fill -= leng;
        ctx->cont_offset = 0;
    }
    return FRAMEX_OK;
}

template <class Input>
int next_frame_peek_in(FRAMEX_CTX *ctx, Input in, unsigned char *peekbuf, int peek_size, int *n_fill)
{
    const int leng = ctx->delim_leng;
    if (peekbuf == nullptr || n_fill == nullptr || leng >= peek_size)
        return FRAMEX_ERR_NO_ROOM;
    int held = 0;
    if (ctx->delim_insert) {
        std::memcpy(peekbuf, ctx->delim_ptr, leng);
        held = leng;
        *n_fill = leng;
    } else {
        *n_fill = 0;
    }
    const int room = peek_size - held;
    int bytes_read = 0;
    bool end = false;
    MatchQueue queue;
    auto next = [&](unsigned char &b) {
        if (bytes_read >= room)
            return false;
        if (!in.read(b)) {
            end = true;
            return false;
        }
        peekbuf[held++] = b;
        ++*n_fill;
        ++bytes_read;
        return true;
    };
    const Match m = match_delimiter(ctx->delim_ptr, leng, queue, next);
    // A peek consumes nothing, whether it found the delimiter, filled its room or met the end.
    in.back(bytes_read);
    if (m == Match::Stopped && end)
        return FRAMEX_ERR_END_OF_INPUT;
    *n_fill -= leng;
    return FRAMEX_OK;
}

int next_delimiter(FRAMEX_CTX *ctx, FILE *fp, unsigned char *outbuf, int outbuf_size, int *n_fill)
{
    if (fp == nullptr)
        return FRAMEX_ERR_END_OF_INPUT;
    return next_delimiter_in(ctx, FileInput{fp}, outbuf, outbuf_size, n_fill);
}

int next_delimiter_mem(FRAMEX_CTX *ctx, FRAMEX_STRM_PTR *strm, unsigned char *outbuf, int outbuf_size, int *n_fill)
{
    if (strm == nullptr)
        return FRAMEX_ERR_END_OF_INPUT;
    return next_delimiter_in(ctx, MemInput{strm}, outbuf, outbuf_size, n_fill);
}

int next_frame_peek(FRAMEX_CTX *ctx, FILE *fp, unsigned char *peekbuf, int peek_size, int *n_fill)
{
    if (fp == nullptr)
        return FRAMEX_ERR_END_OF_INPUT;
    return next_frame_peek_in(ctx, FileInput{fp}, peekbuf, peek_size, n_fill);
}

int next_frame_peek_mem(FRAMEX_CTX *ctx, FRAMEX_STRM_PTR *strm, unsigned char *peekbuf, int peek_size, int *n_fill)
{
    if (strm == nullptr)
        return FRAMEX_ERR_END_OF_INPUT;
    return next_frame_peek_in(ctx, MemInput{strm}, peekbuf, peek_size, n_fill);
}

int search(FRAMEX_CTX *ctx, FRAMEX_IN in, unsigned char *outbuf, int outbuf_size, int *n_fill)
{
    if (ctx->in_type == FRAMEX_IN_TYPE_FILE)
        return next_delimiter(ctx, static_cast<FILE *>(in), outbuf, outbuf_size, n_fill);
    return next_delimiter_mem(ctx, static_cast<FRAMEX_STRM_PTR *>(in), outbuf, outbuf_size, n_fill);
}

} // namespace

FRAMEX_CTX *FrameExtractorInit(FRAMEX_IN_TYPE type, const unsigned char *delimiter, int delim_leng, int delim_insert)
{
    if (delimiter == nullptr || delim_leng < 1 || delim_leng > FRAMEX_MAX_DELIM_LENG)
        return nullptr;
    auto *ctx = static_cast<FRAMEX_CTX *>(std::malloc(sizeof(FRAMEX_CTX)));
    if (ctx == nullptr)
        return nullptr;
    auto *copy = static_cast<unsigned char *>(std::malloc(static_cast<size_t>(delim_leng)));
    if (copy == nullptr) {
        std::free(ctx);
        return nullptr;
    }
    std::memcpy(copy, delimiter, static_cast<size_t>(delim_leng));
    ctx->in_type = type;
    ctx->delim_ptr = copy;
    ctx->delim_leng = delim_leng;
    ctx->delim_insert = delim_insert;
    ctx->cont_offset = 0;
    return ctx;
}

int FrameExtractorFirst(FRAMEX_CTX *pCTX, FRAMEX_IN in)
{
    if (pCTX == nullptr)
        return FRAMEX_ERR_NULL_CTX;
    return search(pCTX, in, nullptr, 0, nullptr);
}

int FrameExtractorNext(FRAMEX_CTX *pCTX, FRAMEX_IN in, unsigned char *outbuf, int outbuf_size, int *n_fill)
{
    if (pCTX == nullptr)
        return FRAMEX_ERR_NULL_CTX;
    return search(pCTX, in, outbuf, outbuf_size, n_fill);
}

int FrameExtractorPeek(FRAMEX_CTX *pCTX, FRAMEX_IN in, unsigned char *peekbuf, int peek_size, int *n_fill)
{
    if (pCTX == nullptr)
        return FRAMEX_ERR_NULL_CTX;
    if (pCTX->in_type == FRAMEX_IN_TYPE_FILE)
        return next_frame_peek(pCTX, static_cast<FILE *>(in), peekbuf, peek_size, n_fill);
    return next_frame_peek_mem(pCTX, static_cast<FRAMEX_STRM_PTR *>(in), peekbuf, peek_size, n_fill);
}

int FrameExtractorFinal(FRAMEX_CTX *pCTX)
{
    if (pCTX == nullptr)
        return FRAMEX_ERR_NULL_CTX;
    std::free(pCTX->delim_ptr);
    std::free(pCTX);
    return FRAMEX_OK;
}
