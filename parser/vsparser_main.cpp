// Raw frame extraction: one pass over the file at open builds the frame
// table; afterwards every frame is one seek and one read, in any order.

// 64-bit file offsets on 32-bit ARM too: streams may pass 2 GiB.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif
#include "vsparser_main.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "avireader.h"
#include "omx_file.h"

// The front end's options: set before a parser exists, so they belong to the module.
int slice_enable = 0;
int parsing_only = 0;
int decoding_number = -1;

namespace
{

// One table entry in 8 bytes: the offset (files may pass 4 GiB) in the high 36 bits, up to
// 64 GiB, and the size in the low 28 bits, up to 256 MiB (a unit fits the 3 MiB parse window,
// an AVI chunk the 64 MiB image).
struct frameInfo {
    static constexpr int kSizeBits = 28;
    uint64_t packed;
    uint64_t offset() const { return packed >> kSizeBits; }
    u32 size() const { return static_cast<u32>(packed & ((1u << kSizeBits) - 1)); }
};

// Entries a table holds at most: 16 MiB of table, nearly ten hours of video at 60 frames a
// second; no file, whatever its size, takes more.
constexpr size_t kMaxEntries = size_t{1} << 21;

struct CtxType {
    std::vector<frameInfo> info;
    bool full = false; // an entry did not fit: the table ends before the file does
    const char *name;  // the file's name, while the table is built
    int frameNum = 0;  // entries appended (the closing entry is not counted)
    int lastFrameNum = -1;
    FILE *fin = nullptr;
    std::unique_ptr<u8[]> aInputBuf;
    u32 windowSize = 0; // 3 MiB, or the file's size when that is smaller
    SplitterState splitter;
};

void PrintEntry(int index, uint64_t offset, u32 size)
{
    if (offset <= 0x7FFFFFFF) {
        std::printf("Frame[%d] : offset = %d(0x%x), size = %d(0x%x)\n", index, static_cast<int>(offset),
                    static_cast<unsigned>(offset), static_cast<int>(size), size);
    } else {
        std::printf("Frame[%d] : offset = %" PRIu64 "(0x%" PRIx64 "), size = %d(0x%x)\n", index, offset, offset,
                    static_cast<int>(size), size);
    }
}

// Adds an entry; false, with one line the first time, when the table is full or the entry
// does not fit one.
bool Push(CtxType *ctx, uint64_t offset, u32 size)
{
    if (ctx->info.size() >= kMaxEntries || offset >> (64 - frameInfo::kSizeBits) != 0 ||
        size >> frameInfo::kSizeBits != 0) {
        if (!ctx->full) {
            std::printf("%s: frame table full after %zu entries; the rest of the file is not read\n", ctx->name,
                        ctx->info.size());
        }
        ctx->full = true;
        return false;
    }
    ctx->info.push_back({offset << frameInfo::kSizeBits | size});
    return true;
}

// Appends an entry of the elementary-stream path (printed when asked).
void Append(CtxType *ctx, uint64_t offset, u32 size)
{
    if (Push(ctx, offset, size)) {
        if (parsing_only) {
            PrintEntry(ctx->frameNum, offset, size);
        }
        ++ctx->frameNum;
    }
}

// The entry that closes the table is written after the counted ones.
void AppendClosing(CtxType *ctx, uint64_t offset, u32 size)
{
    // Nothing left makes no entry: an empty entry would read as "no frame".
    if (size > 0 && Push(ctx, offset, size) && parsing_only) {
        PrintEntry(ctx->frameNum, offset, size);
    }
}

// Size of the open file, 0 when unknown (a pipe, say) or empty.
uint64_t FileSize(FILE *f)
{
    struct stat st;
    return (fstat(fileno(f), &st) == 0 && st.st_size > 0) ? static_cast<uint64_t>(st.st_size) : 0;
}

u32 ReadWindow(CtxType *ctx, uint64_t offset)
{
    if (fseeko(ctx->fin, static_cast<off_t>(offset), SEEK_SET) != 0) {
        return 0;
    }
    return static_cast<u32>(std::fread(ctx->aInputBuf.get(), 1, ctx->windowSize, ctx->fin));
}

bool BuildAvi(CtxType *ctx)
{
    uint64_t file_size = FileSize(ctx->fin);
    u32 image_size = file_size < kAviImageMax ? static_cast<u32>(file_size) : kAviImageMax;
    if (image_size < 12) {
        return false;
    }
    // The image is sized to the file (at most 64 MiB) and lives only for the build.
    std::unique_ptr<char[]> image(new (std::nothrow) char[image_size]);
    if (!image) {
        return false;
    }
    u32 got = static_cast<u32>(std::fread(image.get(), 1, image_size, ctx->fin));
    if (got < 12 || AVI_IsAVIFile(image.get()) == 0) {
        return false;
    }
    AVI_INFO avi_info;
    AVI_OpenAVIFile(image.get(), got, &avi_info);
    for (;;) {
        int chunksize = 0;
        int audiochunk = 0;
        unsigned char *p = AVI_GetVideoData(&chunksize, &avi_info, &audiochunk);
        if (p == nullptr) {
            break;
        }
        // A zero-size chunk is a dropped frame: it has nothing to decode, and
        // an empty entry would end the caller's reading early. A chunk running past
        // the end of the file is not entered.
        uint64_t offset = static_cast<uint64_t>(reinterpret_cast<char *>(p) - image.get());
        if (chunksize <= 0 || offset + static_cast<u32>(chunksize) > file_size) {
            continue;
        }
        // The first chunk is served twice.
        for (int copies = ctx->info.empty() ? 2 : 1; copies > 0; --copies, ++ctx->frameNum) {
            if (!Push(ctx, offset, static_cast<u32>(chunksize))) {
                break;
            }
        }
        if (ctx->full) {
            break;
        }
    }
    AVI_CloseAVIFile(&avi_info);
    ctx->lastFrameNum = ctx->frameNum - 1;
    return true;
}

bool BuildElementary(CtxType *ctx, const CodecEntry &codec, u8 bSliceBaseDec)
{
    const uintptr_t base = reinterpret_cast<uintptr_t>(ctx->aInputBuf.get());
    const KOLVEX_XCD_CODEC_TYPE eMode = codec.codec;
    // Entries either start where the cursor is and keep every byte up to the
    // unit's end, or (containers whose headers stay out) hold the unit only.
    const bool skip_headers = !codec.headers_in_entry;
    u32 uRemainSz = ReadWindow(ctx, 0);
    u32 rd = 0; // cursor: window index of the first unconsumed byte
    uint64_t uFileOffset = 0;
    uintptr_t uOneFrameAddr = 0;
    u32 uOneFrameSize = 0;
    int parser_loop_cnt = 0;

    // A unit must lie between the cursor and the end of the window data.
    auto inside = [&](uintptr_t addr, u32 size) {
        return addr >= base + rd && addr - (base + rd) <= uRemainSz && size <= uRemainSz - (addr - (base + rd));
    };
    // Appends the unit found `lead` bytes past the cursor and moves past it.
    // An empty unit (a zero-size IVF frame) makes no entry: an empty entry reads as the end.
    auto take = [&](u32 lead, u32 size) {
        if (skip_headers) {
            if (size > 0) {
                Append(ctx, uFileOffset + lead, size);
            }
        } else if (lead + size > 0) {
            Append(ctx, uFileOffset, lead + size);
        }
        rd += lead + size;
        uRemainSz -= lead + size;
        uFileOffset += lead + size;
    };

    SplitResult uRet =
        VsParser(ctx->splitter, eMode, base + rd, uRemainSz, &uOneFrameAddr, &uOneFrameSize, 1, bSliceBaseDec);
    if (uRet == SplitResult::UnitOpen) {
        // The first unit fills the file: one entry, without the container's headers.
        const u32 headers = skip_headers ? codec.file_header + codec.frame_header : 0;
        if (uRemainSz > headers) {
            Append(ctx, uFileOffset + headers, uRemainSz - headers);
        }
        return true;
    }
    if (uRet != SplitResult::Unit || !inside(uOneFrameAddr, uOneFrameSize)) {
        std::puts("[HeaderParsing Err]");
        return false;
    }
    // A stream that opens with a picture has no header unit: no empty entry.
    take(static_cast<u32>(uOneFrameAddr - (base + rd)), uOneFrameSize);
    std::puts("\nStart Parsing.........");

    for (;;) {
        uRet = VsParser(ctx->splitter, eMode, base + rd, uRemainSz, &uOneFrameAddr, &uOneFrameSize, 0, bSliceBaseDec);
        if (uRet == SplitResult::Unit) {
            // Bytes a splitter leaves in front of its unit stay with it, so
            // entries and cursor never fall out of step. A unit that does not
            // advance is taken as the end of the window.
            if (inside(uOneFrameAddr, uOneFrameSize) && uOneFrameAddr - (base + rd) + uOneFrameSize > 0) {
                take(static_cast<u32>(uOneFrameAddr - (base + rd)), uOneFrameSize);
                ++parser_loop_cnt;
                if (ctx->full || (decoding_number != -1 &&
                                  static_cast<unsigned>(parser_loop_cnt) >= static_cast<unsigned>(decoding_number))) {
                    std::printf(">> VsParser loop count : %d <<\n", parser_loop_cnt);
                    return true;
                }
                continue;
            }
            uRet = SplitResult::NoUnitEnd;
        }
        if (uRet == SplitResult::UnitOpen || uRet == SplitResult::NoUnitEnd) {
            uOneFrameSize = uRemainSz;
            uRemainSz = ReadWindow(ctx, uFileOffset);
            rd = 0;
            if (uRemainSz != uOneFrameSize) {
                continue; // the window gained data: parse the same unit again
            }
            // The rest of the file is the last unit.
            const u32 header = skip_headers ? codec.frame_header : 0;
            AppendClosing(ctx, uFileOffset + header, uOneFrameSize > header ? uOneFrameSize - header : 0);
            if (eMode == MPEG4_DEC && uOneFrameSize > 0) {
                ctx->lastFrameNum = (uRet == SplitResult::UnitOpen) ? ctx->frameNum : ctx->frameNum - 1;
            }
            std::printf(">> VsParser loop count : %d <<\n", parser_loop_cnt);
            return true;
        }
        std::puts("[ERR] Parsing Error!!");
        return false;
    }
}

CtxType *Ctx(void *handle)
{
    return static_cast<CtxType *>(handle);
}

} // namespace

int GetCodecType(char *fileExt, KOLVEX_XCD_CODEC_TYPE *eCodecMode)
{
    const CodecEntry *c = CodecByExtension(fileExt);
    if (c == nullptr || c->codec == UNKNOWN_TYPE) {
        return 0;
    }
    *eCodecMode = c->codec;
    return 1;
}

void *InitRawFrameExtract(char *pFilename)
{
    if (pFilename == nullptr) {
        return nullptr;
    }
    auto ctx = std::make_unique<CtxType>();
    const char *dot = std::strrchr(pFilename, '.');
    char *ext = const_cast<char *>(dot ? dot + 1 : "");
    // Extensions without a codec ("msv") get UNKNOWN_TYPE, which no splitter
    // takes; "AVI" is found as "avi" and takes the AVI path.
    static const CodecEntry kNoCodec{"", UNKNOWN_TYPE, nullptr, false, 0, 0, true};
    const CodecEntry *found = CodecByExtension(ext);
    const CodecEntry &codec = found != nullptr ? *found : kNoCodec;
    if (parsing_only) {
        std::printf("Codec Type : %d, Ext : %s\n", static_cast<int>(codec.codec), ext);
    }
    u8 bSliceBaseDec = static_cast<u8>(slice_enable);

    ctx->name = pFilename;
    // Only a regular file: a FIFO or a device could block the open or never end.
    ctx->fin = omx_open_regular_file(pFilename).release();
    if (ctx->fin == nullptr) {
        return nullptr;
    }
    bool ok;
    if (codec.avi) {
        ok = BuildAvi(ctx.get());
    } else {
        // A small file needs no more window than its own size: same units,
        // less memory.
        uint64_t file_size = FileSize(ctx->fin);
        if (file_size == 0) {
            file_size = kParseWindowSize;
        }
        ctx->windowSize = file_size < kParseWindowSize ? static_cast<u32>(file_size) : kParseWindowSize;
        ctx->aInputBuf.reset(new (std::nothrow) u8[ctx->windowSize]);
        ok = ctx->aInputBuf != nullptr && BuildElementary(ctx.get(), codec, bSliceBaseDec);
    }
    if (!ok) {
        std::fclose(ctx->fin);
        return nullptr;
    }
    std::rewind(ctx->fin);
    return ctx.release();
}

int GetRawFrameSize(void *handle, int index)
{
    CtxType *ctx = Ctx(handle);
    if (ctx == nullptr || index < 0 || static_cast<size_t>(index) >= ctx->info.size()) {
        return 0;
    }
    return static_cast<int>(ctx->info[index].size());
}

int GetRawFrameCount(void *handle)
{
    return handle ? static_cast<int>(Ctx(handle)->info.size()) : 0;
}

int GetRawFrameEntry(void *handle, int index, uint64_t *offset, u32 *size)
{
    CtxType *ctx = Ctx(handle);
    if (ctx == nullptr || index < 0 || static_cast<size_t>(index) >= ctx->info.size()) {
        return 0;
    }
    *offset = ctx->info[index].offset();
    *size = ctx->info[index].size();
    return 1;
}

int GetRawLastFrameIndex(void *handle)
{
    return handle ? Ctx(handle)->lastFrameNum : -1;
}

int GetRawFrameExtract(void *handle, int index, void *buf, int *isLastFrame)
{
    CtxType *ctx = Ctx(handle);
    if (ctx == nullptr) {
        std::puts("Handle is NULL");
        return 0;
    }
    if (isLastFrame != nullptr) {
        *isLastFrame = 0;
    }
    int size = GetRawFrameSize(handle, index);
    if (size <= 0 || buf == nullptr) {
        return 0;
    }
    if (fseeko(ctx->fin, static_cast<off_t>(ctx->info[index].offset()), SEEK_SET) != 0) {
        return 0;
    }
    // Straight into the caller's buffer: no frame is limited by the window,
    // and the bytes are copied once. A file cut short since the build gives
    // what is left of the frame.
    size_t got = std::fread(buf, 1, static_cast<size_t>(size), ctx->fin);
    if (isLastFrame != nullptr) {
        *isLastFrame = (index == ctx->lastFrameNum) ? 1 : 0;
    }
    return static_cast<int>(got);
}

void DeInitRawFrameExtract(void *handle)
{
    CtxType *ctx = Ctx(handle);
    if (ctx == nullptr) {
        std::puts("Handle is NULL");
        return;
    }
    if (ctx->fin != nullptr) {
        std::fclose(ctx->fin);
    }
    delete ctx;
}
