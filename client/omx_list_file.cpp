// Component list files: which file belongs to which component, and the reader
// of their entries (two file names, width, height and, for encoders, three
// coding numbers), ended by the marker LIST_FILE_END.
//
// The reader reads whitespace-separated fields like formatted input does, but
// by hand: a name never runs past its 128-byte field, a number that does not fit
// an int is refused, and the end of the file ends the list.
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "omx_file.h"
#include "omx_list_file.h"

namespace
{

struct ListFileRow {
    const char *component_name;
    const char *file_name;
    TEST_COMPONENT_TYPE component_type;
    OMX_VIDEO_CODINGTYPE coding_type;
    const char *open_error_line;
};

// The encoders carry 21 as their coding type: the encoding test hands it to the
// component as the output port's compression format.
constexpr OMX_VIDEO_CODINGTYPE kEncoderCodingType = static_cast<OMX_VIDEO_CODINGTYPE>(21);

const ListFileRow kListFiles[] = {
    {"OMX.ZYN.AVC.Decoder", "avcdec_list.txt", OMX_COMPONENT_AVCDEC, OMX_VIDEO_CodingAVC, "avcdec fileopen error "},
    {"OMX.ZYN.VP8.Decoder", "vp8dec_list.txt", OMX_COMPONENT_VP8DEC, OMX_VIDEO_CodingVPX, "vp8dec fileopen error "},
    {"OMX.ZYN.MPEG4.Decoder", "mpeg4dec_list.txt", OMX_COMPONENT_MPEG4DEC, OMX_VIDEO_CodingMPEG4,
     "mpeg4dec fileopen error "},
    {"OMX.ZYN.H263.Decoder", "h263dec_list.txt", OMX_COMPONENT_H263DEC, OMX_VIDEO_CodingH263,
     "h263dec fileopen error "},
    {"OMX.ZYN.WMV.Decoder", "wmvdec_list.txt", OMX_COMPONENT_WMVDEC, OMX_VIDEO_CodingWMV, "wmvdec fileopen error "},
    {"OMX.ZYN.AVC.Encoder", "avcenc_list.txt", OMX_COMPONENT_AVCENC, kEncoderCodingType, "avcenc fileopen error "},
    {"OMX.ZYN.MPEG4.Encoder", "mpeg4enc_list.txt", OMX_COMPONENT_MPEG4ENC, kEncoderCodingType,
     "mpeg4enc fileopen error "},
    {"OMX.ZYN.H263.Encoder", "h263enc_list.txt", OMX_COMPONENT_H263ENC, kEncoderCodingType, "h263enc fileopen error "},
};

} // namespace

std::string omx_list_file_path(const char *file_name)
{
    const char *dir = getenv(OMX_LIST_DIR_ENV);
    std::string path = (dir && *dir) ? dir : OMX_LIST_FILE_DIR;
    if (path.back() != '/')
        path += '/';
    return path + file_name;
}

namespace
{

enum class Field {
    Ok,
    End,
    TooLong,
    NotNumber
};

// Skips blanks, tabs and newlines; returns the first other character or EOF.
int skip_space(FILE *file)
{
    int c;
    do {
        c = getc(file);
    } while (c != EOF && isspace(c));
    return c;
}

// One token of non-blank characters into `token` (zero-terminated). A token too
// long for the field is read to its end and refused, so nothing past the field
// is ever written.
Field read_name(FILE *file, char (&token)[OMX_TEST_NAME_LEN])
{
    int c = skip_space(file);
    if (c == EOF)
        return Field::End;
    size_t len = 0;
    bool too_long = false;
    for (; c != EOF && !isspace(c); c = getc(file)) {
        if (len < sizeof(token) - 1)
            token[len++] = static_cast<char>(c);
        else
            too_long = true;
    }
    if (c != EOF)
        ungetc(c, file);
    token[len] = '\0';
    return too_long ? Field::TooLong : Field::Ok;
}

// Skips the rest of the line, leaving the newline itself to the next field.
void skip_rest_of_line(FILE *file)
{
    int c;
    while ((c = getc(file)) != EOF && c != '\n') {
    }
    if (c == '\n')
        ungetc(c, file);
}

// A decimal integer with optional sign, then the rest of its line (a comment).
Field read_number(FILE *file, int *value)
{
    int c = skip_space(file);
    if (c == EOF)
        return Field::End;
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = getc(file);
    }
    if (c == EOF || !isdigit(c))
        return Field::NotNumber;
    long long magnitude = 0;
    bool overflow = false;
    for (; c != EOF && isdigit(c); c = getc(file)) {
        if (!overflow) {
            magnitude = magnitude * 10 + (c - '0');
            overflow = magnitude > static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (c != EOF)
        ungetc(c, file);
    if (overflow || (!negative && magnitude > INT_MAX))
        return Field::NotNumber;
    *value = static_cast<int>(negative ? -magnitude : magnitude);
    skip_rest_of_line(file);
    return Field::Ok;
}

// Reports why the list ends early; always -1 so callers can return it.
int list_ends(Field field, const char *what)
{
    switch (field) {
    case Field::End: printf("parse_list: list file ends before the %s of an entry\n", what); break;
    case Field::TooLong:
        printf("parse_list: %s longer than %d characters: list ends\n", what, OMX_TEST_NAME_LEN - 1);
        break;
    case Field::NotNumber: printf("parse_list: %s is not a number: list ends\n", what); break;
    case Field::Ok: break;
    }
    return -1;
}

} // namespace

FILE *open_list_file(char *component_name, ZYN_OMX_COMPONENT_INFO *component_info)
{
    printf("comp name %s \n", component_name);
    fflush(stdout);

    FILE *file = nullptr;
    for (const ListFileRow &row : kListFiles) {
        if (strcmp(component_name, row.component_name) != 0)
            continue;
        file = omx_open_regular_file(omx_list_file_path(row.file_name).c_str()).release();
        if (!file) {
            puts(row.open_error_line);
            fflush(stdout);
        }
        component_info->component_type = row.component_type;
        component_info->coding_type = row.coding_type;
        break;
    }
    if (!file)
        puts("Can't find list file Error");
    printf("coding type = %i\n", static_cast<int>(component_info->coding_type));
    return file;
}

bool omx_component_in_table(const char *component_name)
{
    for (const ListFileRow &row : kListFiles)
        if (strcmp(component_name, row.component_name) == 0)
            return true;
    return false;
}

int parse_list(FILE *file, ZYN_OMX_COMPONENT_INFO *component_info)
{
    // Read as a plain int: the record may hold any value, not only the eight kinds.
    int kind;
    static_assert(sizeof kind == sizeof component_info->component_type);
    memcpy(&kind, &component_info->component_type, sizeof kind);
    const bool encoder = omx_is_encoder(kind);
    if (!encoder && !omx_is_decoder(kind))
        return -1;

    // The entry is read into locals and stored only when it is whole, so a
    // broken entry leaves the record as the last good entry left it.
    char in_name[OMX_TEST_NAME_LEN];
    char out_name[OMX_TEST_NAME_LEN];
    Field field = read_name(file, in_name);
    if (field == Field::End) {
        puts("parse_list: list file ends without LIST_FILE_END");
        return -1;
    }
    if (field != Field::Ok)
        return list_ends(field, "input file name");
    // The marker may be the file's last token; then there is no second name.
    const Field out_field = read_name(file, out_name);
    if (strcmp(in_name, OMX_LIST_FILE_END) == 0)
        return -1;
    if (out_field != Field::Ok)
        return list_ends(out_field, "output file name");

    static const char *const kNumberNames[] = {"width", "height", "profile", "bitrate", "framerate"};
    int numbers[5] = {};
    const int count = encoder ? 5 : 2;
    for (int n = 0; n < count; ++n) {
        field = read_number(file, &numbers[n]);
        if (field != Field::Ok)
            return list_ends(field, kNumberNames[n]);
    }

    memcpy(component_info->in_file_name, in_name, sizeof in_name);
    memcpy(component_info->out_file_name, out_name, sizeof out_name);
    component_info->width = numbers[0];
    component_info->height = numbers[1];
    printf("\ninfile: %s\n", component_info->in_file_name);
    printf("width: %d, height: %d\n", component_info->width, component_info->height);
    if (encoder) {
        // The first word goes in through a plain int: a list file may hold any
        // profile number, not only the three of the enumeration.
        static_assert(sizeof component_info->format.avcenc.profile == sizeof(int));
        memcpy(&component_info->format.avcenc.profile, &numbers[2], sizeof(int));
        component_info->format.avcenc.bitrate = numbers[3];
        component_info->format.avcenc.framerate = numbers[4];
        printf("profile: %d, bitrate: %d, framerate: %d\n", numbers[2], numbers[3], numbers[4]);
    }
    return 0;
}
