// Binary layout of the records exchanged with the core and its components.
//
// The program and the board's core are built separately, so every record passed across the
// core boundary must have the layout of the board's 32-bit ARM EABI; a header or compiler
// setting that moves a field (64-bit alignment of OMX_TICKS, a wider pointer) breaks the
// component silently. The size checks of include/platform/OMX_ZYN_Platform.h run in every
// translation unit of a 32-bit build; these tests pin the remaining offsets for the two
// ABIs the project is built for (armhf on the board and under emulation, x86-64 on the
// developer machines).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "omx_component.h"

// The platform header's size checks are only active when UINTPTR_MAX is visible and 32-bit;
// a missing <stdint.h> would disable them silently on exactly the build they guard.
#if defined(__arm__) && !(defined(UINTPTR_MAX) && UINTPTR_MAX == 0xFFFFFFFFu)
#error "32-bit ARM build without the record size checks of OMX_ZYN_Platform.h"
#endif

namespace
{

struct BufferHeaderLayout {
    size_t pBuffer, nAllocLen, pAppPrivate, pInputPortPrivate, pMarkData, nTickCount, nTimeStamp, nFlags,
        nOutputPortIndex, nInputPortIndex, size;
};

BufferHeaderLayout buffer_header_layout()
{
    return {offsetof(OMX_BUFFERHEADERTYPE, pBuffer),
            offsetof(OMX_BUFFERHEADERTYPE, nAllocLen),
            offsetof(OMX_BUFFERHEADERTYPE, pAppPrivate),
            offsetof(OMX_BUFFERHEADERTYPE, pInputPortPrivate),
            offsetof(OMX_BUFFERHEADERTYPE, pMarkData),
            offsetof(OMX_BUFFERHEADERTYPE, nTickCount),
            offsetof(OMX_BUFFERHEADERTYPE, nTimeStamp),
            offsetof(OMX_BUFFERHEADERTYPE, nFlags),
            offsetof(OMX_BUFFERHEADERTYPE, nOutputPortIndex),
            offsetof(OMX_BUFFERHEADERTYPE, nInputPortIndex),
            sizeof(OMX_BUFFERHEADERTYPE)};
}

void expect_layout(const BufferHeaderLayout &got, const BufferHeaderLayout &want)
{
    EXPECT_EQ(got.pBuffer, want.pBuffer);
    EXPECT_EQ(got.nAllocLen, want.nAllocLen);
    EXPECT_EQ(got.pAppPrivate, want.pAppPrivate);
    EXPECT_EQ(got.pInputPortPrivate, want.pInputPortPrivate);
    EXPECT_EQ(got.pMarkData, want.pMarkData);
    EXPECT_EQ(got.nTickCount, want.nTickCount);
    EXPECT_EQ(got.nTimeStamp, want.nTimeStamp);
    EXPECT_EQ(got.nFlags, want.nFlags);
    EXPECT_EQ(got.nOutputPortIndex, want.nOutputPortIndex);
    EXPECT_EQ(got.nInputPortIndex, want.nInputPortIndex);
    EXPECT_EQ(got.size, want.size);
}

} // namespace

TEST(RecordLayout, RecordSizesOfThe32BitBoard)
{
    if (sizeof(void *) != 4)
        GTEST_SKIP() << "the board sizes apply to 32-bit builds";
    EXPECT_EQ(sizeof(OMX_PARAM_PORTDEFINITIONTYPE), 96u);
    EXPECT_EQ(sizeof(OMX_PARAM_COMPONENTROLETYPE), 136u);
    EXPECT_EQ(sizeof(OMX_VIDEO_PARAM_PORTFORMATTYPE), 28u);
    EXPECT_EQ(sizeof(OMX_VIDEO_PARAM_PROFILELEVELTYPE), 24u);
    EXPECT_EQ(sizeof(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE), 32u);
    EXPECT_EQ(sizeof(OMX_CONFIG_SCALEFACTORTYPE), 20u);
}

// OMX_TICKS is a 64-bit integer: ARM EABI aligns it to 8 bytes inside the header, so four
// padding bytes follow nTickCount (i386 would not pad; the board is ARM, so 56 is right).
TEST(RecordLayout, BufferHeaderKeepsTheTimestampEightByteAligned)
{
    EXPECT_EQ(offsetof(OMX_BUFFERHEADERTYPE, nTimeStamp) % alignof(OMX_TICKS), 0u);
    EXPECT_EQ(sizeof(OMX_TICKS), 8u);
#if defined(__arm__)
    expect_layout(buffer_header_layout(), {8, 12, 24, 32, 44, 48, 56, 64, 68, 72, 80});
#elif defined(__x86_64__)
    expect_layout(buffer_header_layout(), {8, 16, 32, 48, 72, 80, 88, 96, 100, 104, 112});
#else
    GTEST_SKIP() << "no reference layout for this ABI";
#endif
}

TEST(RecordLayout, ComponentAndCallbackTablesArePointerArrays)
{
    // Every entry after the four header fields is one function pointer; the core fills
    // the table the program calls through, so the slot of each entry must agree.
    const size_t first = offsetof(OMX_COMPONENTTYPE, GetComponentVersion);
    EXPECT_EQ(first, 8 + 2 * sizeof(void *));
    EXPECT_EQ(offsetof(OMX_COMPONENTTYPE, SendCommand), first + 1 * sizeof(void *));
    EXPECT_EQ(offsetof(OMX_COMPONENTTYPE, EmptyThisBuffer), first + 12 * sizeof(void *));
    EXPECT_EQ(offsetof(OMX_COMPONENTTYPE, UseEGLImage), first + 16 * sizeof(void *));
    EXPECT_EQ(offsetof(OMX_COMPONENTTYPE, ComponentRoleEnum), first + 17 * sizeof(void *));
    EXPECT_EQ(sizeof(OMX_COMPONENTTYPE), first + 18 * sizeof(void *));
    EXPECT_EQ(sizeof(OMX_CALLBACKTYPE), 3 * sizeof(void *));
#if defined(__arm__)
    EXPECT_EQ(sizeof(OMX_COMPONENTTYPE), 88u);
#endif
}

// The record travels as application data through the core and back into the callbacks;
// only the semaphore pointer's width differs between the two ABIs.
TEST(RecordLayout, ComponentInfoRecord)
{
    EXPECT_EQ(offsetof(ZYN_OMX_COMPONENT_INFO, in_file_name), 4u);
    EXPECT_EQ(offsetof(ZYN_OMX_COMPONENT_INFO, out_file_name), 4u + OMX_TEST_NAME_LEN);
    EXPECT_EQ(offsetof(ZYN_OMX_COMPONENT_INFO, width), 4u + 2 * OMX_TEST_NAME_LEN);
    EXPECT_EQ(offsetof(ZYN_OMX_COMPONENT_INFO, color_type), 272u);
    EXPECT_EQ(offsetof(ZYN_OMX_COMPONENT_INFO, format), 276u);
    EXPECT_EQ(offsetof(ZYN_OMX_COMPONENT_INFO, sema), 288u);
    EXPECT_EQ(sizeof(ZYN_OMX_COMPONENT_INFO), sizeof(void *) == 4 ? 292u : 296u);
}
