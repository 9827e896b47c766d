// Client callbacks and the books of what the component under test owes.
#include "omx_callbacks.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

#include "omx_guard.h"
#include "omx_report.h"
#include "omx_results.h"

namespace
{

struct Command {
    OMX_U32 command;
    OMX_U32 param;
    int owed;     // completions still to come
    bool overdue; // its wait is over: a late completion is taken silently
};

// Module-level by design: one component is under test at a time, and the callbacks reach the
// books from the component's threads.
std::mutex books_mutex;
OMX_HANDLETYPE handle_under_test = nullptr;
ZYN_OMX_COMPONENT_INFO *tracked_info = nullptr;
std::vector<Command> commands;
std::set<OMX_BUFFERHEADERTYPE *> held;
// Freed by the program while the component held them (a case may do that): one late return of
// each is the component catching up, not a fault.
std::set<OMX_BUFFERHEADERTYPE *> freed_while_held;

const char *component()
{
    return omx_guard_component();
}

// The record whose semaphore the callbacks post: the one given to OMX_GetHandle when known, so a
// component passing a wrong pAppData back cannot make the program write through it.
ZYN_OMX_COMPONENT_INFO *record_for(OMX_PTR pAppData)
{
    return tracked_info != nullptr ? tracked_info : static_cast<ZYN_OMX_COMPONENT_INFO *>(pAppData);
}

void post(ZYN_OMX_COMPONENT_INFO *info)
{
    if (info != nullptr && info->sema != nullptr)
        sem_post(info->sema);
}

bool from_handle_under_test(OMX_HANDLETYPE hComponent, const char *what)
{
    if (hComponent == handle_under_test && hComponent != nullptr)
        return true;
    omx_report_fail("unexpected %s from a handle not under test: FAIL, %s\n", what, component());
    return false;
}

bool same_target(const Command &c, OMX_U32 command, OMX_U32 param)
{
    return c.command == command && (c.param == param || (command != OMX_CommandStateSet && c.param == OMX_ALL));
}

// A completion: the oldest matching command that still owes one takes it.
void completion(ZYN_OMX_COMPONENT_INFO *info, OMX_U32 command, OMX_U32 param)
{
    for (Command &c : commands) {
        if (!same_target(c, command, param) || c.owed == 0)
            continue;
        c.owed--;
        if (!c.overdue)
            post(info);
        return;
    }
    omx_report_fail("unexpected completion of command %u (%u): FAIL, %s\n", static_cast<unsigned>(command),
                    static_cast<unsigned>(param), component());
}

// An error event stands for the completion of the oldest command still waited for.
void error_event(ZYN_OMX_COMPONENT_INFO *info)
{
    for (Command &c : commands) {
        if (c.owed == 0)
            continue;
        c.owed = 0;
        if (c.overdue)
            return;
        break;
    }
    post(info);
}

bool buffer_back(OMX_HANDLETYPE hComponent, OMX_BUFFERHEADERTYPE *pBuffer, const char *what)
{
    if (!from_handle_under_test(hComponent, what))
        return false;
    if (held.erase(pBuffer) == 1)
        return true;
    if (freed_while_held.erase(pBuffer) == 1)
        return false;
    omx_report_fail("unexpected %s for a buffer header the component does not hold: FAIL, %s\n", what, component());
    return false;
}

} // namespace

OMX_ERRORTYPE OMX_EventHandlerDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_EVENTTYPE eEvent, OMX_U32 nData1,
                                   OMX_U32 nData2, OMX_PTR)
{
    if (eEvent != OMX_EventCmdComplete && eEvent != OMX_EventError)
        return OMX_ErrorNone;
    std::lock_guard lock(books_mutex);
    if (!from_handle_under_test(hComponent, eEvent == OMX_EventError ? "OMX_EventError" : "OMX_EventCmdComplete"))
        return OMX_ErrorNone;
    ZYN_OMX_COMPONENT_INFO *info = record_for(pAppData);
    if (eEvent == OMX_EventCmdComplete) {
        completion(info, nData1, nData2);
    } else {
        omx_report_fail("OMX_EventHandlerDone: OMX_EventError: %x %x\n", static_cast<unsigned>(nData1),
                        static_cast<unsigned>(nData2));
        error_event(info);
    }
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_EmptyThisBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_BUFFERHEADERTYPE *pBuffer)
{
    std::lock_guard lock(books_mutex);
    if (buffer_back(hComponent, pBuffer, "EmptyBufferDone"))
        post(record_for(pAppData));
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_FillThisBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR, OMX_BUFFERHEADERTYPE *pBuffer)
{
    std::lock_guard lock(books_mutex);
    // A picture counts for the results only when it comes back in a buffer the component held.
    if (buffer_back(hComponent, pBuffer, "FillBufferDone") && pBuffer != nullptr && pBuffer->nFilledLen > 0)
        omx_results_picture_back();
    return OMX_ErrorNone;
}

void omx_track_getting_handle(ZYN_OMX_COMPONENT_INFO *info)
{
    std::lock_guard lock(books_mutex);
    tracked_info = info;
}

void omx_track_handle(OMX_HANDLETYPE handle)
{
    std::lock_guard lock(books_mutex);
    if (handle == handle_under_test)
        return;
    handle_under_test = handle;
    commands.clear();
    held.clear();
    freed_while_held.clear();
}

OMX_HANDLETYPE omx_tracked_handle(void)
{
    return handle_under_test;
}

ZYN_OMX_COMPONENT_INFO *omx_tracked_info(void)
{
    return tracked_info;
}

void omx_track_freed(OMX_HANDLETYPE handle)
{
    std::lock_guard lock(books_mutex);
    if (handle != handle_under_test)
        return;
    handle_under_test = nullptr;
    tracked_info = nullptr;
    commands.clear();
    held.clear();
    freed_while_held.clear();
}

void omx_track_command(OMX_COMMANDTYPE command, OMX_U32 param)
{
    std::lock_guard lock(books_mutex);
    std::erase_if(commands, [](const Command &c) { return c.owed == 0; });
    for (Command &c : commands)
        c.overdue = true;
    // Every post the program expected before this command has been waited for.
    if (tracked_info != nullptr && tracked_info->sema != nullptr)
        while (sem_trywait(tracked_info->sema) == 0) {
        }
    const bool both_ports = command != OMX_CommandStateSet && param == OMX_ALL;
    commands.push_back({static_cast<OMX_U32>(command), param, both_ports ? 2 : 1, false});
}

void omx_track_command_refused(void)
{
    std::lock_guard lock(books_mutex);
    if (!commands.empty())
        commands.pop_back();
}

bool omx_track_give(OMX_BUFFERHEADERTYPE *header)
{
    std::lock_guard lock(books_mutex);
    return held.insert(header).second;
}

void omx_track_take_back(OMX_BUFFERHEADERTYPE *header)
{
    std::lock_guard lock(books_mutex);
    held.erase(header);
}

void omx_track_buffer_freed(OMX_BUFFERHEADERTYPE *header)
{
    std::lock_guard lock(books_mutex);
    if (held.erase(header) == 1)
        freed_while_held.insert(header);
}
