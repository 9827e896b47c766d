// Parser front end: filters the file by extension, has the raw frame
// extraction build the frame table, serves frames and keeps the options.
#include "KolvexXcdParser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vsparser_main.h"

using kolvex::BOOL;
using kolvex::FALSE;
using kolvex::TRUE;

typedef enum FILE_EXTENTION {
    FORMAT_NOT_SUPPORT = 0,
    FORMAT_AVI = 1,
    FORMAT_M4V = 2,
    FORMAT_264 = 3,
    FORMAT_263 = 4
} FILE_EXTENTION;

typedef struct PrvxParserInParam_t {
    char *filename;
    unsigned int stream_size;
    KOLVEX_XCD_CODEC_TYPE codec_type;
    unsigned int isRawStream;
} ParserInParam;

typedef struct PrvxParserOutParam_t {
    unsigned int width;
    unsigned int height;
    unsigned int codec_version;
    unsigned int dwScale;
    unsigned int dwRate;
    FILE_EXTENTION file_format;
} ParserOutParam;

namespace
{

// The front end's records: one parser is open at a time, and its calls take
// no record of their own.
ParserInParam *InParam;
ParserOutParam *OutParam;

BOOL CheckExtension(char *fileExt)
{
    return CodecByExtension(fileExt) != nullptr ? TRUE : FALSE;
}

void FreeRecords()
{
    std::free(InParam);
    std::free(OutParam);
    InParam = nullptr;
    OutParam = nullptr;
}

bool TableBuilt()
{
    return InParam != nullptr && InParam->isRawStream == 1;
}

} // namespace

void *KolvexParserInit(KOLVEX_XCD_CODEC_TYPE codec_type, char *inputFileName, int size)
{
    (void)codec_type; // the extension decides the codec
    (void)size;
    // Records left by an open that failed are replaced, not leaked.
    FreeRecords();
    InParam = static_cast<ParserInParam *>(std::calloc(1, sizeof(ParserInParam)));
    OutParam = static_cast<ParserOutParam *>(std::calloc(1, sizeof(ParserOutParam)));
    if (InParam == nullptr || OutParam == nullptr || inputFileName == nullptr) {
        return nullptr;
    }
    const char *dot = std::strrchr(inputFileName, '.');
    if (dot == nullptr || CheckExtension(const_cast<char *>(dot + 1)) != TRUE) {
        return nullptr;
    }
    void *handle = InitRawFrameExtract(inputFileName);
    if (handle == nullptr) {
        std::puts("InitRawFrameExtract fail");
        return nullptr;
    }
    InParam->isRawStream = 1;
    return handle;
}

int KolvexParserFrameGet(void *handle, unsigned int index, void *buf, int *isLastFrame)
{
    if (!TableBuilt() || index > 0x7FFFFFFFu) {
        return 0;
    }
    return GetRawFrameExtract(handle, static_cast<int>(index), buf, isLastFrame);
}

int KolvexParserFrameSize(void *handle, unsigned int index)
{
    if (!TableBuilt() || index > 0x7FFFFFFFu) {
        return 0;
    }
    return GetRawFrameSize(handle, static_cast<int>(index));
}

BOOL KolvexParserDeInit(void *handle)
{
    slice_enable = 0;
    if (TableBuilt()) {
        DeInitRawFrameExtract(handle);
    }
    FreeRecords();
    return TRUE;
}

BOOL KolvexParserSetConfig(KOLVEX_XCD_PARSER_CONF config, void *value)
{
    struct Option {
        int *target;
        int min, max;
        const char *accepted;
        const char *refused;
    };
    static const Option options[] = {
        {&slice_enable, 0, 1, "SLICE_ENABLE =%d\n", "KolvexParserSetConfig: Slice Enable only 1 or 0 %d \n"},
        {&parsing_only, 0, 1, "PARSING_ONLY =%d\n", "KolvexParserSetConfig: Parsing only must be 1 or 0 %d \n"},
        {&decoding_number, 1, 0x7FFFFFFF, "DECODING_NUMBER =%d\n",
         "KolvexParserSetConfig: Decoding number must be greater than 0 : %d \n"},
    };
    const int c = static_cast<int>(config);
    if (c < 0 || c > 2) {
        std::printf("KolvexParserSetConfig: Invalid config type =%d\n", c);
        return FALSE;
    }
    const Option &o = options[c];
    int v = value != nullptr ? *static_cast<int *>(value) : -1;
    if (v < o.min || v > o.max) {
        std::printf(o.refused, v);
        return FALSE;
    }
    *o.target = v;
    std::printf(o.accepted, v);
    return TRUE;
}
