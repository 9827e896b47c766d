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

int slice_enable = 0;
int parsing_only = 0;
int decoding_number = -1;

namespace
{

struct frameInfo {
    uint64_t offset; // files may pass 4 GiB
    u32 size;
};

struct CtxType {
    std::vector<frameInfo> info; // grows as needed: no frame limit
    int frameNum = 0;            // entries appended (the closing entry is not counted)
    int lastFrameNum = -1;
    FILE *fin = nullptr;
    std::unique_ptr<u8[]> aInputBuf;
    u32 windowSize = 0; // 3 MiB, or the file's size when that is smaller
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

// Appends an entry of the elementary-stream path (printed when asked).
void Append(CtxType *ctx, uint64_t offset, u32 size)
{
    ctx->info.push_back({offset, size});
    if (parsing_only) {
        PrintEntry(ctx->frameNum, offset, size);
    }
    ++ctx->frameNum;
}

// The entry that closes the table is written after the counted ones.
void AppendClosing(CtxType *ctx, uint64_t offset, u32 size)
{
    if (size == 0) {
        return; // nothing left: an empty entry would read as "no frame"
    }
    ctx->info.push_back({offset, size});
    if (parsing_only) {
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
        // an empty entry would end the caller's reading early.
        if (chunksize <= 0) {
            continue;
        }
        frameInfo e{static_cast<uint64_t>(reinterpret_cast<char *>(p) - image.get()), static_cast<u32>(chunksize)};
        if (ctx->info.empty()) {
            ctx->info.push_back(e); // the first chunk is served twice
            ++ctx->frameNum;
        }
        ctx->info.push_back(e);
        ++ctx->frameNum;
    }
    AVI_CloseAVIFile(&avi_info);
    ctx->lastFrameNum = ctx->frameNum - 1;
    return true;
}

bool BuildElementary(CtxType *ctx, KOLVEX_XCD_CODEC_TYPE eMode, u8 bIsRcv, u8 bSliceBaseDec)
{
    const uintptr_t base = reinterpret_cast<uintptr_t>(ctx->aInputBuf.get());
    const bool vp8 = (eMode == VP8_DEC);
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

    u32 uRet = VsParser(eMode, base + rd, uRemainSz, &uOneFrameAddr, &uOneFrameSize, bIsRcv, 1, bSliceBaseDec);
    if (uRet == 1) {
        if (vp8) {
            if (uRemainSz > 44) {
                Append(ctx, uFileOffset + 44, uRemainSz - 44);
            }
        } else if (uRemainSz > 0) {
            Append(ctx, uFileOffset, uRemainSz);
        }
        return true;
    }
    if (uRet != 0 || !inside(uOneFrameAddr, uOneFrameSize)) {
        std::puts("[HeaderParsing Err]");
        return false;
    }
    {
        u32 stuff_byte = static_cast<u32>(uOneFrameAddr - (base + rd));
        u32 advance = stuff_byte + uOneFrameSize;
        // A stream that opens with a picture has no header unit: no empty entry.
        if (vp8) {
            if (uOneFrameSize > 0) {
                Append(ctx, uFileOffset + stuff_byte, uOneFrameSize);
            }
        } else if (advance > 0) {
            Append(ctx, uFileOffset, advance);
        }
        rd += advance;
        uRemainSz -= advance;
        uFileOffset += advance;
    }
    std::puts("\nStart Parsing.........");

    for (;;) {
        uRet = VsParser(eMode, base + rd, uRemainSz, &uOneFrameAddr, &uOneFrameSize, bIsRcv, 0, bSliceBaseDec);
        if (uRet == 0) {
            u32 advance = 0;
            if (inside(uOneFrameAddr, uOneFrameSize)) {
                u32 lead = static_cast<u32>(uOneFrameAddr - (base + rd));
                advance = lead + uOneFrameSize;
                if (advance > 0) {
                    // Bytes a splitter leaves in front of its unit stay with
                    // it, so entries and cursor never fall out of step.
                    if (vp8) {
                        Append(ctx, uFileOffset + lead, uOneFrameSize);
                    } else {
                        Append(ctx, uFileOffset, advance);
                    }
                }
            }
            if (advance > 0) {
                rd += advance;
                uRemainSz -= advance;
                uFileOffset += advance;
                ++parser_loop_cnt;
                if (decoding_number != -1 &&
                    static_cast<unsigned>(parser_loop_cnt) >= static_cast<unsigned>(decoding_number)) {
                    std::printf(">> VsParser loop count : %d <<\n", parser_loop_cnt);
                    return true;
                }
                continue;
            }
            // A unit that does not advance is taken as the end of the window.
            uRet = 2;
        }
        if (uRet == 1 || uRet == 2) {
            uOneFrameSize = uRemainSz;
            uRemainSz = ReadWindow(ctx, uFileOffset);
            rd = 0;
            if (uRemainSz != uOneFrameSize) {
                continue; // the window gained data: parse the same unit again
            }
            if (vp8) {
                AppendClosing(ctx, uFileOffset + 12, uOneFrameSize > 12 ? uOneFrameSize - 12 : 0);
            } else {
                AppendClosing(ctx, uFileOffset, uOneFrameSize);
            }
            if (eMode == MPEG4_DEC && uOneFrameSize > 0) {
                ctx->lastFrameNum = (uRet == 1) ? ctx->frameNum : ctx->frameNum - 1;
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

bool LowerExtension(const char *fileExt, char out[10])
{
    for (int i = 0; i < 10; ++i) {
        char c = fileExt[i];
        out[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        if (c == '\0') {
            return true;
        }
    }
    return false; // more than 9 characters
}

int GetCodecType(char *fileExt, KOLVEX_XCD_CODEC_TYPE *eCodecMode)
{
    static const struct {
        const char *ext;
        KOLVEX_XCD_CODEC_TYPE mode;
    } table[] = {{"m4v", MPEG4_DEC},  {"mp4", MPEG4_DEC},  {"264", H264_DEC},   {"26l", H264_DEC},
                 {"prx1", PRVX1_DEC}, {"prx2", PRVX2_DEC}, {"prx3", PRVX3_DEC}, {"prx4", PRVX4_DEC},
                 {"xvd", XVID_DEC},   {"263", H263_DEC},   {"m2v", MPEG2_DEC},  {"mpg", MPEG2_DEC},
                 {"mpeg", MPEG2_DEC}, {"rcv", VC1RCV_DEC}, {"vc1", VC1AP_DEC},  {"ivf", VP8_DEC},
                 {"vp8", VP8_DEC}};
    char lower[10];
    if (fileExt == nullptr || !LowerExtension(fileExt, lower)) {
        return 0;
    }
    for (const auto &t : table) {
        if (std::strcmp(lower, t.ext) == 0) {
            *eCodecMode = t.mode;
            return 1;
        }
    }
    return 0;
}

void *InitRawFrameExtract(char *pFilename)
{
    if (pFilename == nullptr) {
        return nullptr;
    }
    auto ctx = std::make_unique<CtxType>();
    const char *dot = std::strrchr(pFilename, '.');
    char *ext = const_cast<char *>(dot ? dot + 1 : "");
    // Extensions without a codec ("msv") get UNKNOWN_TYPE, which no splitter takes.
    KOLVEX_XCD_CODEC_TYPE eMode = UNKNOWN_TYPE;
    GetCodecType(ext, &eMode);
    if (parsing_only) {
        std::printf("Codec Type : %d, Ext : %s\n", static_cast<int>(eMode), ext);
    }
    u8 bIsRcv = std::strcmp(ext, "rcv") == 0 ? 1 : 0;
    u8 bSliceBaseDec = static_cast<u8>(slice_enable);
    // "AVI" passes the extension filter as well, so it takes the AVI path too.
    char lower[10];
    bool is_avi = LowerExtension(ext, lower) && std::strcmp(lower, "avi") == 0;

    ctx->fin = std::fopen(pFilename, "rb");
    if (ctx->fin == nullptr) {
        return nullptr;
    }
    bool ok;
    if (is_avi) {
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
        ok = ctx->aInputBuf != nullptr && BuildElementary(ctx.get(), eMode, bIsRcv, bSliceBaseDec);
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
    return static_cast<int>(ctx->info[index].size);
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
    *offset = ctx->info[index].offset;
    *size = ctx->info[index].size;
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
    if (fseeko(ctx->fin, static_cast<off_t>(ctx->info[index].offset), SEEK_SET) != 0) {
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
