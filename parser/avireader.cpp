// AVI reader over an in-memory file image.
//
// Sizes inside the file are untrusted: an item is taken only when its header
// lies inside both its parent list and the image, a record is used only when
// all of its bytes lie in the image, and a data chunk whose payload passes the
// image end ends the walk as the end of the list would.
#include "avireader.h"

#include <cstring>

namespace
{

// The record of the file opened last: AVI_GetStreamResolution takes no record of its own.
AVI_INFO *aviInfo;

// The reader's diagnostics: discarded.
void nullprint(const char *, ...) {}

u8 cfcc(u32 value1, const char *value2)
{
    char c[4];
    std::memcpy(c, &value1, 4);
    return std::memcmp(c, value2, 4) == 0 ? 1 : 0;
}

void printf_cfcc(u32 value)
{
    nullprint("%c%c%c%c", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF, value >> 24);
}

const char *ImageEnd(const AVI_INFO *info)
{
    return info->buffer + info->bufferSize;
}

// True when n bytes from p lie inside the image.
bool InImage(const AVI_INFO *info, const void *p, uint64_t n)
{
    const char *c = static_cast<const char *>(p);
    return info != nullptr && info->buffer != nullptr && c >= info->buffer && c <= ImageEnd(info) &&
           n <= static_cast<uint64_t>(ImageEnd(info) - c);
}

char *Payload(AVI_CHUNK *chunk)
{
    return reinterpret_cast<char *>(chunk) + 8;
}

// An item of `list` whose id is "LIST", with its form type readable.
bool IsList(const AVI_INFO *info, AVI_CHUNK *item, const char *form)
{
    return cfcc(item->dwFourCC, "LIST") && InImage(info, item, 12) &&
           cfcc(reinterpret_cast<AVI_LIST *>(item)->dwFourCC, form);
}

AVI_ELEMENT GetAVIElement(const AVI_INFO *info, AVI_LIST *list_input, int offset_input)
{
    AVI_ELEMENT e{nullptr, nullptr, offset_input};
    // A list shorter than its form type holds nothing.
    uint64_t contents = list_input->dwSize < 4 ? 0 : list_input->dwSize - 4u;
    uint64_t offset = static_cast<u32>(offset_input);
    if (!(offset + 1 < contents)) {
        return e;
    }
    char *item = reinterpret_cast<char *>(list_input) + 12;
    if (!InImage(info, item, 0) || offset > static_cast<uint64_t>(ImageEnd(info) - item)) {
        return e;
    }
    item += offset;
    if (!InImage(info, item, 8)) {
        return e;
    }
    e.chunk = reinterpret_cast<AVI_CHUNK *>(item);
    e.list = reinterpret_cast<AVI_LIST *>(item);
    uint64_t next = offset + 8 + e.chunk->dwSize;
    next += next & 1u;
    // Past the contents the next call finds nothing; keep it an int.
    if (next > contents) {
        next = contents;
    }
    if (next > 0x7FFFFFFF) {
        next = 0x7FFFFFFF;
    }
    e.offset = static_cast<int>(next);
    return e;
}

void ShowElements(const AVI_INFO *info, AVI_LIST *list)
{
    int n = 0;
    for (AVI_ELEMENT e = GetAVIElement(info, list, 0); e.chunk != nullptr;
         e = GetAVIElement(info, list, e.offset), ++n) {
        const u8 *b = reinterpret_cast<const u8 *>(e.chunk);
        nullprint("[%d] addr=0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x\n", n,
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(b)), b[0], b[1], b[2], b[3], b[4], b[5], b[6],
                  b[7]);
        u32 id = e.chunk->dwFourCC;
        if (cfcc(id, "LIST") && InImage(info, e.list, 12)) {
            u32 f = e.list->dwFourCC;
            nullprint("[%d]List Item FourCC=%c%c%c%c size=%d\n", n, f & 0xFF, (f >> 8) & 0xFF, (f >> 16) & 0xFF,
                      f >> 24, e.list->dwSize);
        } else {
            nullprint("[%d]Chunk Item FourCC=%c%c%c%c size=%d\n", n, id & 0xFF, (id >> 8) & 0xFF, (id >> 16) & 0xFF,
                      id >> 24, e.chunk->dwSize);
        }
    }
}

void TraceMainHeader(const MainAVIHeader *h)
{
    nullprint("MicroSecPerFrame=%d\n", h->dwMicroSecPerFrame);
    nullprint("MaxBytesPerSec=%d\n", h->dwMaxBytesPerSec);
    nullprint("PaddingGranularity=%d\n", h->dwPaddingGranularity);
    nullprint("Flags=0x%x\n", h->dwFlags);
    static const struct {
        u32 bit;
        const char *text;
    } flags[] = {{0x20000, "[COPYRIGHTED] "}, {0x10, "[HASINDEX] "},     {0x100, "[ISINTERLEAVED] "},
                 {0x20, "[MUSTUSEINDEX] "},   {0x800, "[TRUSTCKTYPE] "}, {0x10000, "[WASCAPTUREFILE] "}};
    for (const auto &f : flags) {
        if (h->dwFlags & f.bit) {
            nullprint(f.text);
        }
    }
    nullprint("\n");
    nullprint("TotalFrames=%d\n", h->dwTotalFrames);
    nullprint("InitialFrames=%d\n", h->dwInitialFrames);
    nullprint("Streams=%d\n", h->dwStreams);
    nullprint("SuggestedBufferSize=%d\n", h->dwSuggestedBufferSize);
    nullprint("Width=%d Heigth=%d\n", h->dwWidth, h->dwHeight);
}

void TraceStream(const AVIStreamHeader *h, int number)
{
    nullprint("STRH:fccType=");
    printf_cfcc(h->fccType);
    nullprint("\n");
    nullprint("STRH:InitialFrames=%d\n", h->dwInitialFrames);
    nullprint("STRH:Scale=%d Rate=%d --> %f fps(or samples per sec)\n", h->dwScale, h->dwRate,
              static_cast<double>(static_cast<float>(h->dwRate) / static_cast<float>(h->dwScale)));
    nullprint("STRH:Start time of stream=%d\n", h->dwStart);
    nullprint("StreamInfor[%d]--------------------------------\n", number);
    nullprint("strl---------------------------\n");
}

// The format record of a stream's strf chunk, when n of its bytes are held.
char *Format(const AVI_INFO *info, const AVIStreamInfor &s, uint64_t n)
{
    if (s.strf == nullptr || !InImage(info, Payload(s.strf), n)) {
        return nullptr;
    }
    return Payload(s.strf);
}

AVI_WAVEFORMATEX *AudioFormat(const AVI_INFO *info)
{
    return reinterpret_cast<AVI_WAVEFORMATEX *>(Format(info, info->AudioInfor, sizeof(AVI_WAVEFORMATEX)));
}

int ParseAVIHeader(AVI_LIST *list)
{
    AVI_INFO *info = aviInfo;
    u32 streams = 0;
    nullprint("parsing avi++++++++++++ list length=%d\n", list->dwSize);
    for (AVI_ELEMENT e = GetAVIElement(info, list, 0); e.chunk != nullptr; e = GetAVIElement(info, list, e.offset)) {
        if (cfcc(e.chunk->dwFourCC, "avih") && InImage(info, Payload(e.chunk), sizeof(MainAVIHeader))) {
            info->mainAVIHeader = reinterpret_cast<MainAVIHeader *>(Payload(e.chunk));
            TraceMainHeader(info->mainAVIHeader);
        }
        if (InImage(info, e.list, 12) && cfcc(e.list->dwFourCC, "strl")) {
            // Without a main header there is no stream count to admit it.
            u32 declared = info->mainAVIHeader ? info->mainAVIHeader->dwStreams : 0;
            if (streams >= declared) {
                nullprint("Number of LIST strl exceeds dwStreams !!!!!\n");
                return 0;
            }
            nullprint("strl++++++++++++++++++++length=%d\n", e.list->dwSize);
            ShowElements(info, e.list);
            AVIStreamInfor s{nullptr, nullptr, nullptr, nullptr};
            for (AVI_ELEMENT c = GetAVIElement(info, e.list, 0); c.chunk != nullptr;
                 c = GetAVIElement(info, e.list, c.offset)) {
                u32 id = c.chunk->dwFourCC;
                if (cfcc(id, "strh")) {
                    if (InImage(info, Payload(c.chunk), sizeof(AVIStreamHeader))) {
                        s.StreamHeader = reinterpret_cast<AVIStreamHeader *>(Payload(c.chunk));
                    }
                } else if (cfcc(id, "strf")) {
                    s.strf = c.chunk;
                } else if (cfcc(id, "indx")) {
                    s.indx = c.chunk;
                } else if (cfcc(id, "strn")) {
                    s.strn = c.chunk;
                }
            }
            int number = static_cast<int>(streams);
            if (s.StreamHeader != nullptr) {
                u32 type = s.StreamHeader->fccType;
                AVIStreamInfor *slot = nullptr;
                int *index = nullptr;
                if (cfcc(type, "vids")) {
                    slot = &info->VideoInfor;
                    index = &info->VideoStreamIndex;
                } else if (cfcc(type, "auds")) {
                    slot = &info->AudioInfor;
                    index = &info->AudioStreamIndex;
                } else if (cfcc(type, "txts")) {
                    slot = &info->TextInfor;
                    index = &info->TextStreamIndex;
                }
                if (slot != nullptr) {
                    *slot = s;
                    *index = number;
                    TraceStream(s.StreamHeader, number);
                }
            }
            ++streams;
        }
        nullprint("offset = %d\n", e.offset);
    }
    if (const AVI_WAVEFORMATEX *w = AudioFormat(info)) {
        nullprint("FormatTag:%d(0x%x)\n", w->wFormatTag, w->wFormatTag);
        nullprint("nChannels:%d\n", w->nChannels);
        nullprint("nSamplesPerSec:%d\n", w->nSamplesPerSec);
        nullprint("nAvgBytesPerSec:%d\n", w->nAvgBytesPerSec);
        nullprint("nBlockAlign:%d\n", w->nBlockAlign);
        nullprint("wBitsPerSample:%d\n", w->wBitsPerSample);
        nullprint("cbSize:%d\n", w->cbSize);
    }
    nullprint("parsing avi end----------------\n");
    return 1;
}

// Next data chunk of `stream` of kind `kind` from *cursor in movi.
unsigned char *NextData(AVI_INFO *info, int *cursor, int stream, char kind, int *chunkSize, int *numOfAudioChunk)
{
    *chunkSize = 0;
    if (info->movi == nullptr || info->current_REC != nullptr) {
        return nullptr;
    }
    for (AVI_ELEMENT e = GetAVIElement(info, info->movi, *cursor); e.chunk != nullptr;
         e = GetAVIElement(info, info->movi, e.offset)) {
        char id[4];
        std::memcpy(id, &e.chunk->dwFourCC, 4);
        int number = (id[0] - '0') * 10 + (id[1] - '0');
        if (numOfAudioChunk != nullptr && number == info->AudioStreamIndex && id[2] == 'w') {
            ++*numOfAudioChunk;
        }
        if (number == stream && id[2] == kind) {
            // A chunk whose data run past the image (the image holds only the start of a large
            // file) is handed out as the last one; its bytes are read from the file.
            *cursor = InImage(info, Payload(e.chunk), e.chunk->dwSize) ? e.offset : 0x7FFFFFFF;
            *chunkSize = static_cast<int>(e.chunk->dwSize);
            return reinterpret_cast<unsigned char *>(Payload(e.chunk));
        }
    }
    return nullptr;
}

} // namespace

int AVI_IsAVIFile(char *buffer)
{
    return (std::memcmp(buffer, "RIFF", 4) == 0 && std::memcmp(buffer + 8, "AVI ", 4) == 0) ? 1 : 0;
}

int AVI_OpenAVIFile(char *buffer, u32 bufferSize, AVI_INFO *info)
{
    aviInfo = info;
    std::memset(info, 0, sizeof(*info));
    info->buffer = buffer;
    info->bufferSize = bufferSize;
    if (buffer == nullptr || bufferSize < 12 || !AVI_IsAVIFile(buffer)) {
        return 0;
    }
    nullprint("RIFF AVI List!\n");
    AVI_LIST *riff = reinterpret_cast<AVI_LIST *>(buffer);
    for (AVI_ELEMENT e = GetAVIElement(info, riff, 0); e.chunk != nullptr; e = GetAVIElement(info, riff, e.offset)) {
        if (IsList(info, e.chunk, "hdrl")) {
            nullprint("hdrl size = %d\n", e.list->dwSize);
            if (!ParseAVIHeader(e.list)) {
                return 0;
            }
        } else if (IsList(info, e.chunk, "movi")) {
            info->movi = e.list;
            AVI_ELEMENT first = GetAVIElement(info, e.list, 0);
            if (first.chunk != nullptr && IsList(info, first.chunk, "rec ")) {
                info->current_REC = first.list;
            } else {
                info->current_CHUNK = first.chunk;
            }
            return 1;
        }
    }
    return 1;
}

void AVI_CloseAVIFile(AVI_INFO *info)
{
    // The record and the image belong to the caller; only forget the record,
    // so that AVI_GetStreamResolution cannot read through a released one.
    if (aviInfo == info) {
        aviInfo = nullptr;
    }
}

unsigned char *AVI_GetVideoData(int *chunkSize, AVI_INFO *info, int *numOfAudioChunk)
{
    *numOfAudioChunk = 0;
    return NextData(info, &info->offset_movi, info->VideoStreamIndex, 'd', chunkSize, numOfAudioChunk);
}

unsigned char *AVI_GetAudioData(int *chunkSize, AVI_INFO *info)
{
    return NextData(info, &info->offset_audio_movi, info->AudioStreamIndex, 'w', chunkSize, nullptr);
}

void AVI_ResetVideoDataOffset(AVI_INFO *info)
{
    info->offset_movi = 0;
}

void AVI_ResetAudioDataOffset(AVI_INFO *info)
{
    info->offset_audio_movi = 0;
}

unsigned int AVI_GetVideoCodec(AVI_INFO *info)
{
    const auto *bih =
        reinterpret_cast<const AVI_BITMAPINFOHEADER *>(Format(info, info->VideoInfor, sizeof(AVI_BITMAPINFOHEADER)));
    if (bih == nullptr) {
        return 0;
    }
    printf_cfcc(bih->biCompression);
    return bih->biCompression;
}

unsigned int AVI_GetAudioCodec(AVI_INFO *info)
{
    const char *f = Format(info, info->AudioInfor, 2);
    if (f == nullptr) {
        return 0;
    }
    uint16_t tag;
    std::memcpy(&tag, f, 2);
    return tag;
}

AVI_WAVEFORMATEX *AVI_GetAudioParameter(AVI_INFO *info)
{
    return AudioFormat(info);
}

int AVI_GetSuggestedVideoBuffer(AVI_INFO *info)
{
    const AVIStreamHeader *h = info->VideoInfor.StreamHeader;
    return h ? static_cast<int>(h->dwSuggestedBufferSize) : 0;
}

int AVI_GetSuggestedAudioBuffer(AVI_INFO *info)
{
    const AVIStreamHeader *h = info->AudioInfor.StreamHeader;
    return h ? static_cast<int>(h->dwSuggestedBufferSize) : 0;
}

void AVI_GetStreamResolution(u32 *pHsize, u32 *pVsize)
{
    const MainAVIHeader *h = aviInfo ? aviInfo->mainAVIHeader : nullptr;
    *pHsize = h ? h->dwWidth : 0;
    *pVsize = h ? h->dwHeight : 0;
}

float AVI_GetFPSinAVI(AVI_INFO *info)
{
    if (info->mainAVIHeader != nullptr) {
        nullprint("total frame=%d\n", info->mainAVIHeader->dwTotalFrames);
    }
    const AVIStreamHeader *h = info->VideoInfor.StreamHeader;
    if (h == nullptr) {
        return 0.0f;
    }
    return static_cast<float>(h->dwRate) / static_cast<float>(h->dwScale);
}

float AVI_GetAudioChunkPerSec(AVI_INFO *info)
{
    const AVIStreamHeader *h = info->AudioInfor.StreamHeader;
    if (h == nullptr) {
        return 0.0f;
    }
    return static_cast<float>(h->dwRate) / static_cast<float>(h->dwScale);
}
