// Component calls shared by the buffer-using cases and the streaming passes: port minimum
// counts, the slot limits of the header tables, buffer calls over header slots, state checks and
// state commands with their completion.
#pragma once

#include "omx_component_info.h"
#include "omx_data_buffer.h"
#include "omx_header_slots.h"

// Reads the port definition of `port` into a cleared record (nSize, nVersion, nPortIndex set)
// and stores its nBufferCountMin in *min_count; a failed query leaves 0 there. Returns the
// GetParameter result.
OMX_ERRORTYPE omx_query_min_buffers(OMX_COMPONENTTYPE *handle, OMX_U32 port, OMX_PARAM_PORTDEFINITIONTYPE *portdef,
                                    OMX_U32 *min_count);

// Counts beyond the header slots are refused before any buffer call with the line
//   "<test>: buffer count FAIL: input %u (at most 5), output %u (at most 3), %d"
// Returns true when both counts fit.
bool omx_counts_fit_slots(const char *test, OMX_U32 min_inbuffer, OMX_U32 min_outbuffer,
                          const ZYN_OMX_COMPONENT_INFO *component_info);

// Size of the client and component buffers of UTC 002, 003 and 004 at the least; a port asking
// for more gets its nBufferSize.
#define OMX_CASE_BUFFER_SIZE 32768

// Prints a failure line taking the error (%x) and component_type (%d).
void omx_report_error(const char *fail_line, OMX_ERRORTYPE err, const ZYN_OMX_COMPONENT_INFO *component_info);

// OMX_UseBuffer for slot i < count on `port` with buffers[i], `size` bytes, no application
// data. A refused call prints `fail_line` (error %x, component_type %d) and leaves its slot
// empty.
void omx_use_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                     OMX_BUFFERHEADERTYPE **slots, const OmxDataBuffers &buffers, OMX_U32 count, OMX_U32 size,
                     const char *fail_line);

// OMX_AllocateBuffer for slot i < count on `port`, the same way.
void omx_allocate_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                          OMX_BUFFERHEADERTYPE **slots, OMX_U32 count, OMX_U32 size, const char *fail_line);

// OMX_FreeBuffer on `port` for every filled slot below count, each slot emptied afterwards; a
// refused call prints `fail_line` (error, component_type).
void omx_free_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                      OMX_BUFFERHEADERTYPE **slots, OMX_U32 count, const char *fail_line);

// OMX_GetState; when the state found is not `expected`, prints `fail_line` with that state (%d)
// and component_type (%d). A failed query reports OMX_StateInvalid (0) rather than a stale
// state. Returns the state found.
OMX_STATETYPE omx_check_state(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info,
                              OMX_STATETYPE expected, const char *fail_line);

// The opening of UTC 002, 003 and 004: the minimum counts of both ports (`port0_fail_line`,
// when not null, reports a refused port-0 query with the error and component_type), the slot
// limits, the buffer size of each port (the larger of OMX_CASE_BUFFER_SIZE and its nBufferSize),
// the zero-filled input data buffers and cleared header slots. Returns true when the case can go on (else its line is
// printed).
bool omx_case_buffers_setup(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, const char *test,
                            const char *port0_fail_line, OMX_U32 *min_inbuffer, OMX_U32 *min_outbuffer,
                            OmxDataBuffers *in_buffer, OMX_U32 *in_size, OMX_U32 *out_size);

// OMX_SendCommand(command, param), then one bounded wait for its completion unless the command
// was refused (a refusal posts nothing). *waited_out, when given, tells whether that wait
// expired. Returns the send's result; the caller reports it.
OMX_ERRORTYPE omx_command_and_wait(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                                   OMX_COMMANDTYPE command, OMX_U32 param, const char *what,
                                   bool *waited_out = nullptr);
