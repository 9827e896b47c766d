// A small in-process component for the suite's tests: it completes commands
// and returns input buffers at once through the driver's callbacks, counts
// its buffer calls and keeps a copy of every input buffer it was given.
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "omx_component.h"

struct FakeComponent {
    OMX_COMPONENTTYPE handle{};
    OMX_CALLBACKTYPE callbacks{OMX_EventHandlerDone, OMX_EmptyThisBufferDone, OMX_FillThisBufferDone};
    ZYN_OMX_COMPONENT_INFO *app_data = nullptr;
    OMX_STATETYPE state = OMX_StateLoaded;
    OMX_U32 min_count[2] = {3, 3};
    OMX_PARAM_PORTDEFINITIONTYPE port_set[2]{};
    int commands = 0;
    int buffer_calls = 0; // UseBuffer, AllocateBuffer and FreeBuffer
    std::vector<std::unique_ptr<OMX_BUFFERHEADERTYPE>> headers;
    std::vector<std::unique_ptr<OMX_U8[]>> owned;
    std::vector<std::vector<OMX_U8>> emptied; // the filled bytes of each input buffer received
    std::vector<OMX_U32> emptied_lengths;
    // Every parameter record as it arrived, by index, gets and sets alike.
    std::vector<std::pair<OMX_INDEXTYPE, std::vector<OMX_U8>>> records;

    explicit FakeComponent(ZYN_OMX_COMPONENT_INFO *info) : app_data(info)
    {
        handle.nSize = sizeof(handle);
        handle.pComponentPrivate = this;
        handle.SendCommand = send_command;
        handle.GetParameter = get_parameter;
        handle.SetParameter = set_parameter;
        handle.GetState = get_state;
        handle.UseBuffer = use_buffer;
        handle.AllocateBuffer = allocate_buffer;
        handle.FreeBuffer = free_buffer;
        handle.EmptyThisBuffer = empty_this_buffer;
        handle.FillThisBuffer = fill_this_buffer;
    }

    static FakeComponent *self(OMX_HANDLETYPE h)
    {
        return static_cast<FakeComponent *>(static_cast<OMX_COMPONENTTYPE *>(h)->pComponentPrivate);
    }

    static OMX_ERRORTYPE send_command(OMX_HANDLETYPE h, OMX_COMMANDTYPE cmd, OMX_U32 param, OMX_PTR)
    {
        FakeComponent *c = self(h);
        c->commands++;
        if (cmd == OMX_CommandStateSet)
            c->state = static_cast<OMX_STATETYPE>(param);
        c->callbacks.EventHandler(h, c->app_data, OMX_EventCmdComplete, cmd, param, nullptr);
        return OMX_ErrorNone;
    }

    void keep_record(OMX_INDEXTYPE index, OMX_PTR record)
    {
        const auto *bytes = static_cast<const OMX_U8 *>(record);
        OMX_U32 size;
        memcpy(&size, bytes, sizeof(size));
        records.emplace_back(index, std::vector<OMX_U8>(bytes, bytes + size));
    }

    static OMX_ERRORTYPE get_parameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record)
    {
        self(h)->keep_record(index, record);
        if (index != OMX_IndexParamPortDefinition)
            return OMX_ErrorUnsupportedIndex;
        auto *portdef = static_cast<OMX_PARAM_PORTDEFINITIONTYPE *>(record);
        if (portdef->nPortIndex > 1)
            return OMX_ErrorBadPortIndex;
        portdef->nBufferCountMin = self(h)->min_count[portdef->nPortIndex];
        portdef->nBufferCountActual = portdef->nBufferCountMin;
        return OMX_ErrorNone;
    }

    static OMX_ERRORTYPE set_parameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record)
    {
        self(h)->keep_record(index, record);
        if (index != OMX_IndexParamPortDefinition)
            return OMX_ErrorUnsupportedIndex;
        auto *portdef = static_cast<OMX_PARAM_PORTDEFINITIONTYPE *>(record);
        if (portdef->nPortIndex > 1)
            return OMX_ErrorBadPortIndex;
        self(h)->port_set[portdef->nPortIndex] = *portdef;
        return OMX_ErrorNone;
    }

    static OMX_ERRORTYPE get_state(OMX_HANDLETYPE h, OMX_STATETYPE *state)
    {
        *state = self(h)->state;
        return OMX_ErrorNone;
    }

    OMX_BUFFERHEADERTYPE *new_header(OMX_U32 port, OMX_U32 size, OMX_U8 *data)
    {
        auto header = std::make_unique<OMX_BUFFERHEADERTYPE>();
        header->nSize = sizeof(OMX_BUFFERHEADERTYPE);
        header->pBuffer = data;
        header->nAllocLen = size;
        header->nInputPortIndex = port;
        headers.push_back(std::move(header));
        return headers.back().get();
    }

    static OMX_ERRORTYPE use_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **out, OMX_U32 port, OMX_PTR, OMX_U32 size,
                                    OMX_U8 *data)
    {
        FakeComponent *c = self(h);
        c->buffer_calls++;
        *out = c->new_header(port, size, data);
        return OMX_ErrorNone;
    }

    static OMX_ERRORTYPE allocate_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **out, OMX_U32 port, OMX_PTR,
                                         OMX_U32 size)
    {
        FakeComponent *c = self(h);
        c->buffer_calls++;
        c->owned.push_back(std::make_unique<OMX_U8[]>(size));
        *out = c->new_header(port, size, c->owned.back().get());
        return OMX_ErrorNone;
    }

    static OMX_ERRORTYPE free_buffer(OMX_HANDLETYPE h, OMX_U32, OMX_BUFFERHEADERTYPE *)
    {
        self(h)->buffer_calls++;
        return OMX_ErrorNone;
    }

    static OMX_ERRORTYPE empty_this_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *header)
    {
        FakeComponent *c = self(h);
        const OMX_U32 length = header->nFilledLen <= header->nAllocLen ? header->nFilledLen : header->nAllocLen;
        c->emptied.emplace_back(header->pBuffer, header->pBuffer + length);
        c->emptied_lengths.push_back(header->nFilledLen);
        c->callbacks.EmptyBufferDone(h, c->app_data, header);
        return OMX_ErrorNone;
    }

    static OMX_ERRORTYPE fill_this_buffer(OMX_HANDLETYPE, OMX_BUFFERHEADERTYPE *) { return OMX_ErrorNone; }
};
