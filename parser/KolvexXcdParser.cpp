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

namespace {

ParserInParam *InParam;
ParserOutParam *OutParam;

BOOL CheckExtension(char *fileExt)
{
    static const char *const supported[] = {"m4v", "mp4", "msv", "264", "26l", "prx1", "prx2",
                                            "prx3", "prx4", "xvd", "263", "m2v", "mpg", "mpeg",
                                            "rcv", "vc1", "ivf", "vp8", "avi"};
    char lower[10];
    if (!LowerExtension(fileExt, lower)) {
        return FALSE;
    }
    for (const char *s : supported) {
        if (std::strcmp(lower, s) == 0) {
            return TRUE;
        }
    }
    return FALSE;
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

}  // namespace

void *KolvexParserInit(KOLVEX_XCD_CODEC_TYPE codec_type, char *inputFileName, int size)
{
    (void)codec_type;  // the extension decides the codec
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
    int v = value != nullptr ? *static_cast<int *>(value) : -1;
    switch (config) {
    case XCD_PARSER_SETCONF_SLICE_ENABLE:
        if (v != 0 && v != 1) {
            std::printf("KolvexParserSetConfig: Slice Enable only 1 or 0 %d \n", v);
            return FALSE;
        }
        slice_enable = v;
        std::printf("SLICE_ENABLE =%d\n", v);
        return TRUE;
    case XCD_PARSER_SETCONF_PARSING_ONLY:
        if (v != 0 && v != 1) {
            std::printf("KolvexParserSetConfig: Parsing only must be 1 or 0 %d \n", v);
            return FALSE;
        }
        parsing_only = v;
        std::printf("PARSING_ONLY =%d\n", v);
        return TRUE;
    case XCD_PARSER_SETCONF_DEC_NUMBER:
        if (v < 1) {
            std::printf("KolvexParserSetConfig: Decoding number must be greater than 0 : %d \n", v);
            return FALSE;
        }
        decoding_number = v;
        std::printf("DECODING_NUMBER =%d\n", v);
        return TRUE;
    default:
        std::printf("KolvexParserSetConfig: Invalid config type =%d\n", static_cast<int>(config));
        return FALSE;
    }
}
