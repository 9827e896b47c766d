/* Steps shared by the buffer-using cases and the encoding pass: port minimum
 * counts, the slot limits of the header tables, the data buffers a test owns,
 * buffer calls over header slots and state checks. */
#pragma once

#include <cstddef>
#include <vector>

#include "omx_component.h"

/* Reads the port definition of `port` into a cleared record (nSize,
 * nVersion, nPortIndex set) and stores its nBufferCountMin in *min_count;
 * a failed query leaves 0 there. Returns the GetParameter result. */
OMX_ERRORTYPE omx_query_min_buffers(OMX_COMPONENTTYPE *handle, OMX_U32 port, OMX_PARAM_PORTDEFINITIONTYPE *portdef,
                                    OMX_U32 *min_count);

/* The header tables hold IN_BUFFER_SLOTS input and OUT_BUFFER_SLOTS output
 * headers. Counts above that are refused before any buffer call with the line
 *   "<test>: buffer count FAIL: input %u (at most 5), output %u (at most 3), %d"
 * Returns 0 when both counts fit. */
int omx_check_slot_counts(const char *test, OMX_U32 min_inbuffer, OMX_U32 min_outbuffer,
                          const ZYN_OMX_COMPONENT_INFO *component_info);

/* Clears the header slots a test is about to fill, so that a slot the
 * component did not fill is never handed on. */
void omx_clear_header_slots(void);

/* The allocator of the tests' own data buffers (calloc); the suite's tests
 * replace it to reach the allocation failure lines. */
typedef void *(*OmxCaseCallocFunc)(size_t count, size_t size);
extern OmxCaseCallocFunc omx_case_calloc;

/* Data buffers owned by one test run, zero-filled, freed with the object. */
struct omx_data_buffers {
    std::vector<unsigned char *> data;

    omx_data_buffers() = default;
    omx_data_buffers(const omx_data_buffers &) = delete;
    omx_data_buffers &operator=(const omx_data_buffers &) = delete;
    ~omx_data_buffers();

    /* Allocates `count` zero-filled buffers of `size` bytes. When one cannot
     * be had, prints `fail_line` (printf format taking the index, %i),
     * keeps the ones allocated so far and returns -1; a failed buffer is
     * never cleared or handed to the component. */
    int allocate(OMX_U32 count, size_t size, const char *fail_line);
    unsigned char *operator[](size_t i) const { return data[i]; }
};

/* Size of the client and component buffers of UTC 002, 003 and 004. */
#define OMX_CASE_BUFFER_SIZE 32768

/* OMX_UseBuffer for slot i < count on `port` with buffers[i], `size` bytes,
 * no application data. A refused call prints `fail_line` (error %x,
 * component_type %d) and leaves its slot empty. */
void omx_use_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                     OMX_BUFFERHEADERTYPE **slots, const omx_data_buffers &buffers, OMX_U32 count, OMX_U32 size,
                     const char *fail_line);

/* OMX_AllocateBuffer for slot i < count on `port`, the same way. */
void omx_allocate_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                          OMX_BUFFERHEADERTYPE **slots, OMX_U32 count, OMX_U32 size, const char *fail_line);

/* OMX_FreeBuffer on `port` for every filled slot below count, each slot
 * emptied afterwards; a refused call prints `fail_line` (error, component_type). */
void omx_free_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                      OMX_BUFFERHEADERTYPE **slots, OMX_U32 count, const char *fail_line);

/* OMX_GetState; when the state found is not `expected`, prints `fail_line`
 * with that state (%d) and component_type (%d). A failed query reports
 * OMX_StateInvalid (0) rather than a stale state. Returns the state found. */
OMX_STATETYPE omx_check_state(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info,
                              OMX_STATETYPE expected, const char *fail_line);

/* The opening of UTC 002, 003 and 004: the minimum counts of both ports
 * (`port0_fail_line`, when not null, reports a refused port-0 query with the
 * error and component_type), the slot limits, the zero-filled input data
 * buffers of OMX_CASE_BUFFER_SIZE bytes and cleared header slots. Returns 0
 * when the case can go on, -1 when it is refused (its line printed). */
int omx_case_buffers_setup(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, const char *test,
                           const char *port0_fail_line, OMX_U32 *min_inbuffer, OMX_U32 *min_outbuffer,
                           omx_data_buffers *in_buffer);

/* OMX_SendCommand(OMX_CommandStateSet, state), then one bounded wait for its
 * completion unless the command was refused (a refusal posts nothing).
 * Returns the send's result; the caller reports it. */
OMX_ERRORTYPE omx_send_state_and_wait(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                                      OMX_STATETYPE state, const char *what);

/* Prints a failure line taking the error (%x) and component_type (%d). */
void omx_report_error(const char *fail_line, OMX_ERRORTYPE err, const ZYN_OMX_COMPONENT_INFO *component_info);
